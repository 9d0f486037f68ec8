// Tasks of the Task Scheduler's root folder through its COM interface.
#include <windows.h>
#include <taskschd.h>
#include <wtsapi32.h>

#include <string>

#include "platform/win32/owners.h"
#include "platform/win32/win32_desktop.h"

namespace hw::platform::win32 {

namespace {

// A COM interface pointer, released on every way out.
template <class T>
struct ComTraits : NullIsNone<T*> {
    static void Close(T* p) { p->Release(); }
};
template <class T>
using Com = Unique<ComTraits<T>>;

// A BSTR, freed on every way out.
struct BstrTraits : NullIsNone<BSTR> {
    static void Close(BSTR b) { ::SysFreeString(b); }
};
using Bstr = Unique<BstrTraits>;

Bstr ToBstr(const std::string& text) {
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
    return Bstr(::SysAllocString(wide.c_str()));
}

std::string Narrow(BSTR b) {
    if (!b) return {};
    const int n = ::WideCharToMultiByte(CP_ACP, 0, b, -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? static_cast<size_t>(n) : 1, '\0');
    if (n > 0) ::WideCharToMultiByte(CP_ACP, 0, b, -1, s.data(), n, nullptr, nullptr);
    s.resize(s.empty() ? 0 : s.size() - 1);
    return s;
}

// COM for this thread while it lives; a thread that already has it keeps it.
class ComScope {
public:
    ComScope() : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    // Already initialised in another apartment also lets the calls run.
    HRESULT Result() const { return hr_ == RPC_E_CHANGED_MODE ? S_OK : hr_; }

private:
    HRESULT hr_;
};

// The root folder of the local Task Scheduler.
HRESULT RootFolder(Com<ITaskService>& service, Com<ITaskFolder>& folder) {
    HRESULT hr = ::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                    reinterpret_cast<void**>(service.put()));
    if (FAILED(hr)) return hr;
    VARIANT empty;
    ::VariantInit(&empty);
    hr = service->Connect(empty, empty, empty, empty);
    if (FAILED(hr)) return hr;
    const Bstr root = ToBstr("\\");
    return service->GetFolder(root.get(), folder.put());
}

// Runs `call` on the root folder with COM set up for this thread.
template <class F>
HRESULT OnRootFolder(F&& call) {
    ComScope com;
    if (FAILED(com.Result())) return com.Result();
    Com<ITaskService> service;
    Com<ITaskFolder> folder;
    const HRESULT hr = RootFolder(service, folder);
    return FAILED(hr) ? hr : call(folder);
}

}  // namespace

long Win32Desktop::RegisterTask(const std::string& name, const std::string& xml) {
    return OnRootFolder([&](Com<ITaskFolder>& folder) -> HRESULT {
        const Bstr path = ToBstr(name), definition = ToBstr(xml);
        VARIANT empty;
        ::VariantInit(&empty);
        Com<IRegisteredTask> task;
        // The task's principal (the logged-on operator, interactive) is in the XML.
        return folder->RegisterTask(path.get(), definition.get(), TASK_CREATE_OR_UPDATE, empty, empty,
                                    TASK_LOGON_INTERACTIVE_TOKEN, empty, task.put());
    });
}

long Win32Desktop::GetTaskXml(const std::string& name, std::string& xml) {
    xml.clear();
    return OnRootFolder([&](Com<ITaskFolder>& folder) -> HRESULT {
        const Bstr path = ToBstr(name);
        Com<IRegisteredTask> task;
        HRESULT hr = folder->GetTask(path.get(), task.put());
        if (FAILED(hr)) return hr;
        Bstr text;
        hr = task->get_Xml(text.put());
        if (SUCCEEDED(hr)) xml = Narrow(text.get());
        return hr;
    });
}

long Win32Desktop::DeleteTask(const std::string& name) {
    return OnRootFolder([&](Com<ITaskFolder>& folder) -> HRESULT {
        const Bstr path = ToBstr(name);
        return folder->DeleteTask(path.get(), 0);
    });
}

long Win32Desktop::GetSessionUser(std::string& domainUser) {
    // The names of this session's user, each freed with WTSFreeMemory.
    auto ask = [](WTS_INFO_CLASS what, std::string& into) -> long {
        LPSTR buffer = nullptr;
        DWORD bytes = 0;
        if (!WTSQuerySessionInformationA(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, what, &buffer, &bytes))
            return static_cast<long>(::GetLastError());
        into = buffer ? buffer : "";
        WTSFreeMemory(buffer);
        return 0;
    };
    std::string domain, user;
    if (const long e = ask(WTSDomainName, domain)) return e;
    if (const long e = ask(WTSUserName, user)) return e;
    if (user.empty()) return ERROR_NO_SUCH_LOGON_SESSION;  // no one logged on to it
    domainUser = domain.empty() ? user : domain + "\\" + user;
    return 0;
}

}  // namespace hw::platform::win32
