#include "automation/remote_lists.h"

#include <algorithm>
#include <cstring>

#include "automation/process.h"
#include "platform/records.h"
#include "common/text.h"

namespace hw::automation {

namespace p = platform;
using namespace platform::records;

namespace {

// The memory rights, and the query right IsWow64Process needs to tell the
// record layout.
constexpr std::uint32_t kRemoteAccess =
    p::proc::kVmOperation | p::proc::kVmRead | p::proc::kVmWrite | p::proc::kQueryLimitedInformation;
constexpr size_t kSlot = 256;  // a cell's text: 255 bytes for the control, one kept 0
constexpr std::uint64_t kLostAfterMs = 10000;
constexpr size_t kMostBlocks = 8;

// Memory reserved in another process, released on every way out.
class RemoteBlock {
public:
    RemoteBlock(p::Desktop& d, p::Handle process, std::uint64_t size)
        : d_(d), process_(process),
          address_(process ? d.VirtualAllocEx(process, size, p::mem::kCommit, p::mem::kReadWrite) : 0) {}
    ~RemoteBlock() {
        if (address_) d_.VirtualFreeEx(process_, address_, 0, p::mem::kRelease);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;
    p::RemoteAddress address() const { return address_; }
    explicit operator bool() const { return address_ != 0; }
    bool Write(const void* data, std::uint64_t size, std::uint64_t offset = 0) {
        return d_.WriteProcessMemory(process_, address_ + offset, data, size, nullptr);
    }
    bool Read(void* data, std::uint64_t size, std::uint64_t offset = 0) {
        return d_.ReadProcessMemory(process_, address_ + offset, data, size, nullptr);
    }

private:
    p::Desktop& d_;
    p::Handle process_;
    p::RemoteAddress address_;
};

bool Send(p::Desktop& d, Hwnd window, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam,
          std::int64_t* result = nullptr) {
    return d.SendMessageTimeout(window, message, wParam, lParam, p::msg::kSmtoAbortIfHung,
                                p::msg::kSendTimeoutMs, result);
}

// An item record asking for one cell's text into `text`.
std::vector<std::uint8_t> CellRecord(bool layout32, int subItem, p::RemoteAddress text) {
    std::vector<std::uint8_t> bytes(layout32 ? sizeof(LvItem32) : sizeof(LvItem64), 0);
    if (layout32) {
        LvItem32 r{};
        r.mask = kLvifText;
        r.iSubItem = subItem;
        r.pszText = static_cast<std::uint32_t>(text);
        r.cchTextMax = kCellTextMax;
        std::memcpy(bytes.data(), &r, sizeof r);
    } else {
        LvItem64 r{};
        r.mask = kLvifText;
        r.iSubItem = subItem;
        r.pszText = text;
        r.cchTextMax = kCellTextMax;
        std::memcpy(bytes.data(), &r, sizeof r);
    }
    return bytes;
}

// The text of a slot: the bytes before the first zero, at most 255 of them.
std::string SlotText(const std::uint8_t* slot) {
    size_t n = 0;
    while (n < static_cast<size_t>(kCellTextMax) && slot[n] != 0) ++n;
    return text::Trim(std::string(reinterpret_cast<const char*>(slot), n));
}

// The records for `count` cells, row by row over `columns`, at the start of
// `bytes`; each asks for its text into its own slot after `recordsBytes`.
void PutCellRecords(std::vector<std::uint8_t>& bytes, bool layout32, const std::vector<int>& columns, size_t count,
                    p::RemoteAddress base, size_t recordsBytes) {
    const size_t recordSize = layout32 ? sizeof(LvItem32) : sizeof(LvItem64);
    for (size_t i = 0; i < count; ++i) {
        const std::vector<std::uint8_t> rec =
            CellRecord(layout32, columns[i % columns.size()], base + recordsBytes + i * kSlot);
        std::memcpy(bytes.data() + i * recordSize, rec.data(), recordSize);
    }
}

// The rows read back from their slots.
std::vector<std::vector<std::string>> CellsFromSlots(const std::uint8_t* slots, int rows, size_t columns) {
    std::vector<std::vector<std::string>> result(static_cast<size_t>(rows), std::vector<std::string>(columns));
    for (size_t i = 0; i < result.size() * columns; ++i) result[i / columns][i % columns] = SlotText(slots + i * kSlot);
    return result;
}

}  // namespace

std::optional<bool> UsesLayout32(p::Desktop& d, p::Handle process) {
    if (!d.Is64BitProcess()) return true;
    bool wow64 = false;
    if (!d.IsWow64Process(process, &wow64)) return std::nullopt;
    return wow64;
}

std::int32_t MakeLParam(std::int32_t low, std::int16_t high) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint16_t>(high)) << 16 |
                                     static_cast<std::uint16_t>(low & 0xFFFF));
}

std::string GetListViewCellText(p::Desktop& d, Hwnd listView, p::Pid processId, int subItem, int item) {
    ScopedHandle process(d, d.OpenProcess(kRemoteAccess, false, processId));
    if (!process) return {};
    const std::optional<bool> layout = UsesLayout32(d, process.get());
    if (!layout) return {};
    const bool layout32 = *layout;
    RemoteBlock text(d, process.get(), kCellTextMax);
    RemoteBlock record(d, process.get(), layout32 ? sizeof(LvItem32) : sizeof(LvItem64));
    if (!text || !record) return {};
    std::vector<std::uint8_t> rec = CellRecord(layout32, subItem, text.address());
    if (!record.Write(rec.data(), rec.size())) return {};
    if (!Send(d, listView, p::msg::kLvmGetItemTextA, static_cast<std::uint64_t>(item),
              static_cast<std::int64_t>(record.address())))
        return {};
    std::uint8_t local[kCellTextMax + 1] = {};
    if (!text.Read(local, kCellTextMax)) return {};
    record.Read(rec.data(), rec.size());
    return SlotText(local);
}

std::vector<std::vector<std::string>> GetListViewCells(p::Desktop& d, Hwnd listView, p::Pid processId,
                                                       int rows, const std::vector<int>& columns) {
    std::vector<std::vector<std::string>> result;
    if (rows <= 0 || columns.empty()) return result;
    ScopedHandle process(d, d.OpenProcess(kRemoteAccess, false, processId));
    if (!process) return result;
    const std::optional<bool> layout = UsesLayout32(d, process.get());
    if (!layout) return result;
    const bool layout32 = *layout;
    const size_t recordSize = layout32 ? sizeof(LvItem32) : sizeof(LvItem64);
    const size_t cells = static_cast<size_t>(rows) * columns.size();
    // One block: every cell's record, then every cell's text slot.
    const size_t recordsBytes = (cells * recordSize + 15) & ~size_t{15};
    RemoteBlock block(d, process.get(), recordsBytes + cells * kSlot);
    if (!block) return result;
    std::vector<std::uint8_t> records(recordsBytes, 0);
    PutCellRecords(records, layout32, columns, cells, block.address(), recordsBytes);
    if (!block.Write(records.data(), records.size())) return result;
    std::vector<std::uint8_t> texts(cells * kSlot, 0);
    for (size_t i = 0; i < cells; ++i) {
        const auto row = static_cast<std::uint64_t>(i / columns.size());
        if (!Send(d, listView, p::msg::kLvmGetItemTextA, row,
                  static_cast<std::int64_t>(block.address() + i * recordSize)))
            return result;  // gone or hung: nothing read
    }
    if (!block.Read(texts.data(), texts.size(), recordsBytes)) return result;
    return CellsFromSlots(texts.data(), rows, columns.size());
}

void ListViewReader::Release() {
    // Requests still queued would write into a released block.
    if (process_ && !pending_)
        for (p::RemoteAddress b : blocks_) d_.VirtualFreeEx(process_, b, 0, p::mem::kRelease);
    if (process_) d_.CloseHandle(process_);
    process_ = 0;
    pid_ = 0;
    blocks_.clear();
    capacity_ = 0;
    pending_ = 0;
}

bool ListViewReader::Answered(p::RemoteAddress slot) {
    std::uint8_t bytes[kSlot];
    if (!d_.ReadProcessMemory(process_, slot, bytes, kSlot, nullptr)) return false;
    // The slot was filled with 0xFF: the answer's terminator is a zero.
    return std::find(bytes, bytes + kSlot, 0) != bytes + kSlot;
}

std::vector<std::vector<std::string>> ListViewReader::Read(Hwnd listView, p::Pid processId, int rows,
                                                           const std::vector<int>& columns) {
    std::vector<std::vector<std::string>> result;
    if (rows <= 0 || columns.empty() || !processId) return result;
    if (processId != pid_) {
        Release();
        const p::Handle process = d_.OpenProcess(kRemoteAccess, false, processId);
        if (!process) return result;
        // Records of the wrong width would be read as garbage by the list.
        const std::optional<bool> layout = UsesLayout32(d_, process);
        if (!layout) {
            d_.CloseHandle(process);
            return result;
        }
        process_ = process;
        pid_ = processId;
        layout32_ = *layout;
    }
    if (pending_) {
        if (!Answered(pending_)) {
            // Still busy with the last batch, or its end mark was lost (the
            // list emptied before it came): a program that answers at once
            // but not the mark for long has dropped it. Its block is left to
            // it; the next batch takes a new one.
            std::int64_t count = 0;
            if (d_.TickCount() - pendingSince_ < kLostAfterMs ||
                !d_.SendMessageTimeout(listView, p::msg::kLvmGetItemCount, 0, 0, p::msg::kSmtoAbortIfHung,
                                       p::msg::kSendTimeoutMs, &count))
                return result;
            capacity_ = 0;
        }
        pending_ = 0;
    }
    // A program that keeps losing batches is read the slow way.
    if (blocks_.size() >= kMostBlocks && capacity_ == 0) return GetListViewCells(d_, listView, processId, rows, columns);
    const size_t recordSize = layout32_ ? sizeof(LvItem32) : sizeof(LvItem64);
    const size_t cells = static_cast<size_t>(rows) * columns.size();
    // Every cell's record and one more for the end mark, then their slots.
    const size_t recordsBytes = ((cells + 1) * recordSize + 15) & ~size_t{15};
    const size_t needed = recordsBytes + (cells + 1) * kSlot;
    if (needed > capacity_) {
        // The old block stays: requests to it may still be queued.
        const std::uint64_t size = std::max<std::uint64_t>(needed * 2, 64 * 1024);
        const p::RemoteAddress block = d_.VirtualAllocEx(process_, size, p::mem::kCommit, p::mem::kReadWrite);
        if (!block) return result;
        blocks_.push_back(block);
        capacity_ = size;
    }
    const p::RemoteAddress base = blocks_.back();
    std::vector<std::uint8_t> bytes(needed, 0);
    PutCellRecords(bytes, layout32_, columns, cells + 1, base, recordsBytes);
    const p::RemoteAddress mark = base + recordsBytes + cells * kSlot;
    std::memset(bytes.data() + recordsBytes + cells * kSlot, 0xFF, kSlot);
    if (!d_.WriteProcessMemory(process_, base, bytes.data(), bytes.size(), nullptr)) return result;
    for (size_t i = 0; i <= cells; ++i) {
        const auto row = static_cast<std::uint64_t>(i < cells ? i / columns.size() : 0);
        if (!d_.PostMessage(listView, p::msg::kLvmGetItemTextA, row, static_cast<std::int64_t>(base + i * recordSize))) {
            // A full queue: what was posted may still come, so the next
            // batch takes a new block; this one is read the slow way.
            pending_ = 0;
            capacity_ = 0;
            return GetListViewCells(d_, listView, processId, rows, columns);
        }
    }
    // The end mark is answered last: the program's queue keeps the order.
    pending_ = mark;
    pendingSince_ = d_.TickCount();
    const std::uint64_t start = d_.TickCount();
    while (!Answered(mark)) {
        if (d_.TickCount() - start >= p::msg::kSendTimeoutMs) return result;  // hung: pending_ stays
        d_.Sleep(1);
    }
    pending_ = 0;
    std::vector<std::uint8_t> texts(cells * kSlot, 0);
    if (!d_.ReadProcessMemory(process_, base + recordsBytes, texts.data(), texts.size(), nullptr)) return result;
    return CellsFromSlots(texts.data(), rows, columns.size());
}

std::vector<std::string> GetListBoxLines(p::Desktop& d, Hwnd listBox, std::int32_t start) {
    std::vector<std::string> lines;
    std::int64_t count = 0;
    if (!Send(d, listBox, p::msg::kLbGetCount, 0, 0, &count)) return lines;
    if (count < 1 || count - start < 1 || start < 0) return lines;
    lines.reserve(static_cast<size_t>(count - start));
    for (std::int64_t i = start; i < count; ++i) {
        std::int64_t len = 0;
        if (!Send(d, listBox, p::msg::kLbGetTextLen, static_cast<std::uint64_t>(i), 0, &len) || len < 0)
            return lines;
        std::string buffer(static_cast<size_t>(std::min<std::int64_t>(len, 1 << 20)) + 1, '\0');
        std::int64_t got = 0;
        if (!d.SendTextMessageTimeout(listBox, p::msg::kLbGetText, static_cast<std::uint64_t>(i), buffer.data(),
                                      static_cast<std::uint32_t>(buffer.size()), p::msg::kSmtoAbortIfHung,
                                      p::msg::kSendTimeoutMs, &got))
            return lines;
        buffer.resize(static_cast<size_t>(std::clamp<std::int64_t>(got, 0, static_cast<std::int64_t>(buffer.size()) - 1)));
        lines.push_back(std::move(buffer));
    }
    return lines;
}

std::int32_t GetToolbarButtonPoint(p::Desktop& d, Hwnd toolbar, p::Pid processId, std::int16_t index) {
    ScopedHandle process(d, d.OpenProcess(kRemoteAccess, false, processId));
    if (!process) return 0;
    const std::optional<bool> layout = UsesLayout32(d, process.get());
    if (!layout) return 0;
    const bool layout32 = *layout;
    const size_t buttonSize = layout32 ? sizeof(TbButton32) : sizeof(TbButton64);
    RemoteBlock button(d, process.get(), buttonSize);
    RemoteBlock rect(d, process.get(), sizeof(Rect));
    if (!button || !rect) return 0;
    std::uint8_t bytes[sizeof(TbButton64)] = {};
    if (!button.Write(bytes, buttonSize)) return 0;
    if (!Send(d, toolbar, p::msg::kTbGetButton, static_cast<std::uint64_t>(index),
              static_cast<std::int64_t>(button.address())))
        return 0;
    if (!button.Read(bytes, buttonSize)) return 0;
    std::int32_t command = 0;
    std::memcpy(&command, bytes + offsetof(TbButton32, idCommand), sizeof command);  // same in both layouts
    Rect r{};
    if (!rect.Write(&r, sizeof r)) return 0;
    if (!Send(d, toolbar, p::msg::kTbGetRect, static_cast<std::uint64_t>(static_cast<std::uint32_t>(command)),
              static_cast<std::int64_t>(rect.address())))
        return 0;
    if (!rect.Read(&r, sizeof r)) return 0;
    const auto x = static_cast<std::int32_t>(text::RoundHalfEven((static_cast<double>(r.left) + r.right) / 2));
    const auto y = static_cast<std::int32_t>(text::RoundHalfEven((static_cast<double>(r.top) + r.bottom) / 2));
    return MakeLParam(x, static_cast<std::int16_t>(y));
}

}  // namespace hw::automation
