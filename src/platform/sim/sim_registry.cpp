// The simulated registry: a tree of keys with case-insensitive names, values
// with their types, handles that go stale when their key is deleted.
#include <algorithm>
#include <cstring>

#include "common/text.h"
#include "platform/sim/sim_desktop.h"

namespace hw::platform::sim {

namespace {
bool SameName(const std::string& a, const std::string& b) {
    return text::Upper(a) == text::Upper(b);
}
constexpr std::uint32_t kWriteAccess = reg::kSetValue | reg::kCreateSubKey;
}  // namespace

SimDesktop::RegNode* SimDesktop::RootNode(HKey root) const {
    if (root == kHkeyLocalMachine) return hklm_.get();
    if (root == kHkeyCurrentUser) return hkcu_.get();
    if (root == kHkeyClassesRoot) return hkcr_.get();
    return nullptr;
}

SimDesktop::RegNode* SimDesktop::NodeOf(HKey key) const {
    if (RegNode* root = RootNode(key)) return root;
    auto it = keys_.find(key);
    if (it == keys_.end() || !*it->second.alive) return nullptr;
    return it->second.node;
}

long SimDesktop::KeyAccess(HKey key, std::uint32_t needed, RegNode*& node) const {
    node = NodeOf(key);
    if (!node) return err::kInvalidHandle;
    if (RootNode(key)) return err::kSuccess;  // predefined keys carry every right
    return (keys_.at(key).access & needed) == needed ? err::kSuccess : err::kAccessDenied;
}

bool SimDesktop::MayWrite(HKey root, std::uint32_t access) const {
    // HKEY_LOCAL_MACHINE takes changes from administrators only; a program
    // with a manifest is not redirected elsewhere.
    return !(access & kWriteAccess) || RootNode(root) != hklm_.get() || IntegrityOf(ownPid_) >= proc::kIntegrityHigh;
}

SimDesktop::RegNode* SimDesktop::Walk(RegNode* from, const std::string& path, bool create) {
    RegNode* node = from;
    for (const std::string& part : text::Split(path, "\\")) {
        if (part.empty()) continue;
        auto it = std::find_if(node->children.begin(), node->children.end(),
                               [&](const auto& c) { return SameName(c->name, part); });
        if (it != node->children.end()) {
            node = it->get();
            continue;
        }
        if (!create) return nullptr;
        auto child = std::make_unique<RegNode>();
        child->name = part;
        child->parent = node;
        node->children.push_back(std::move(child));
        node = node->children.back().get();
    }
    return node;
}

const SimDesktop::RegNode* SimDesktop::WalkConst(const RegNode* from, const std::string& path) const {
    return const_cast<SimDesktop*>(this)->Walk(const_cast<RegNode*>(from), path, false);
}

std::string SimDesktop::PathOf(const RegNode* node) {
    std::string path;
    for (; node && node->parent; node = node->parent)
        path = path.empty() ? node->name : node->name + "\\" + path;
    return path;
}

void SimDesktop::MarkDeleted(RegNode* node) {
    node->deleted = true;
    for (auto& [h, k] : keys_)
        if (k.node == node) *k.alive = false;
}

long SimDesktop::Fault(const std::string& op, const RegNode* node, const std::string& value) {
    return registryFault ? registryFault(op, PathOf(node), value) : 0;
}

long SimDesktop::RegOpenKeyEx(HKey root, const std::string& subKey, std::uint32_t access,
                              HKey& result) {
    result = 0;
    RegNode* base = NodeOf(root);
    if (!base) return err::kInvalidHandle;
    RegNode* node = Walk(base, subKey, false);
    if (!node) return err::kFileNotFound;
    if (!MayWrite(root, access)) return err::kAccessDenied;
    if ((access & kWriteAccess) && Fault("open", node, "") != 0) return err::kAccessDenied;
    if (!(access & kWriteAccess))
        if (long e = Fault("openread", node, "")) return e;
    result = nextKey_;
    nextKey_ = HKey{nextKey_.value() + 1};
    keys_[result] = {node, access, std::make_shared<bool>(true)};
    return err::kSuccess;
}

long SimDesktop::RegCreateKeyEx(HKey root, const std::string& subKey, std::uint32_t access,
                                HKey& result) {
    result = 0;
    RegNode* base = NodeOf(root);
    if (!base) return err::kInvalidHandle;
    RegNode* node = Walk(base, subKey, false);
    if (!MayWrite(root, access | reg::kCreateSubKey)) return err::kAccessDenied;
    if (!node) {
        if (long e = Fault("create", base, subKey)) return e;
        node = Walk(base, subKey, true);
    } else if (long e = Fault("open", node, "")) {
        return e;
    }
    result = nextKey_;
    nextKey_ = HKey{nextKey_.value() + 1};
    keys_[result] = {node, access, std::make_shared<bool>(true)};
    return err::kSuccess;
}

long SimDesktop::RegCloseKey(HKey key) {
    if (RootNode(key)) return err::kSuccess;
    return keys_.erase(key) ? err::kSuccess : err::kInvalidHandle;
}

long SimDesktop::RegDeleteKey(HKey root, const std::string& subKey) {
    RegNode* base = NodeOf(root);
    if (!base) return err::kInvalidHandle;
    if (!MayWrite(root, reg::kSetValue)) return err::kAccessDenied;
    RegNode* node = Walk(base, subKey, false);
    if (!node || node == base) return err::kFileNotFound;
    if (!node->children.empty()) return err::kAccessDenied;  // as Windows NT refuses it
    if (long e = Fault("deletekey", node, "")) return e;
    MarkDeleted(node);
    auto& siblings = node->parent->children;
    siblings.erase(std::find_if(siblings.begin(), siblings.end(),
                                [&](const auto& c) { return c.get() == node; }));
    return err::kSuccess;
}

long SimDesktop::RegDeleteValue(HKey key, const std::string& valueName) {
    RegNode* node = NodeOf(key);
    if (!node) return err::kInvalidHandle;
    auto it = keys_.find(key);
    if (it != keys_.end() && !(it->second.access & reg::kSetValue)) return err::kAccessDenied;
    auto v = std::find_if(node->values.begin(), node->values.end(),
                          [&](const RegValue& r) { return SameName(r.name, valueName); });
    if (v == node->values.end()) return err::kFileNotFound;
    if (long e = Fault("deletevalue", node, valueName)) return e;
    node->values.erase(v);
    return err::kSuccess;
}

long SimDesktop::RegQueryValueEx(HKey key, const std::string& valueName, std::uint32_t* type,
                                 std::uint8_t* data, std::uint32_t* size) {
    RegNode* node = nullptr;
    if (long e = KeyAccess(key, reg::kQueryValue, node)) return e;
    // A query can fail on a value that is there as well as on one that is
    // not (a hive that cannot be read, a denied value).
    if (long e = Fault("query", node, valueName)) return e;
    auto v = std::find_if(node->values.begin(), node->values.end(),
                          [&](const RegValue& r) { return SameName(r.name, valueName); });
    if (v == node->values.end()) return err::kFileNotFound;
    if (type) *type = v->type;
    const auto n = static_cast<std::uint32_t>(v->data.size());
    if (!size) return data ? err::kInvalidParameter : err::kSuccess;
    if (!data) {
        *size = n;
        return err::kSuccess;
    }
    if (*size < n) {
        *size = n;
        return err::kMoreData;
    }
    if (n) std::memcpy(data, v->data.data(), n);
    *size = n;
    return err::kSuccess;
}

long SimDesktop::RegSetValueEx(HKey key, const std::string& valueName, std::uint32_t type,
                               const std::uint8_t* data, std::uint32_t size) {
    RegNode* node = NodeOf(key);
    if (!node) return err::kInvalidHandle;
    auto it = keys_.find(key);
    if (it != keys_.end() && !(it->second.access & reg::kSetValue)) return err::kAccessDenied;
    if (long e = Fault("setvalue", node, valueName)) return e;
    std::vector<std::uint8_t> bytes(data, data + size);
    for (RegValue& v : node->values) {
        if (SameName(v.name, valueName)) {
            v.type = type;
            v.data = std::move(bytes);
            return err::kSuccess;
        }
    }
    node->values.push_back({valueName, type, std::move(bytes)});
    return err::kSuccess;
}

long SimDesktop::RegQueryInfoKey(HKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLen,
                                 std::uint32_t* values, std::uint32_t* maxValueNameLen) {
    RegNode* node = nullptr;
    if (long e = KeyAccess(key, reg::kQueryValue, node)) return e;
    std::uint32_t maxSub = 0, maxVal = 0;
    for (auto& c : node->children) maxSub = std::max<std::uint32_t>(maxSub, c->name.size());
    for (auto& v : node->values) maxVal = std::max<std::uint32_t>(maxVal, v.name.size());
    if (subKeys) *subKeys = static_cast<std::uint32_t>(node->children.size());
    if (maxSubKeyLen) *maxSubKeyLen = maxSub;
    if (values) *values = static_cast<std::uint32_t>(node->values.size());
    if (maxValueNameLen) *maxValueNameLen = maxVal;
    return err::kSuccess;
}

long SimDesktop::RegEnumValue(HKey key, std::uint32_t index, char* name, std::uint32_t* nameLen) {
    RegNode* node = nullptr;
    if (long e = KeyAccess(key, reg::kQueryValue, node)) return e;
    if (!name || !nameLen) return err::kInvalidParameter;
    if (index >= node->values.size()) return err::kNoMoreItems;
    const std::string& n = node->values[index].name;
    if (long e = Fault("enumvalue", node, n)) return e;
    if (*nameLen <= n.size()) return err::kMoreData;
    std::memcpy(name, n.c_str(), n.size() + 1);
    *nameLen = static_cast<std::uint32_t>(n.size());
    return err::kSuccess;
}

long SimDesktop::RegEnumKey(HKey key, std::uint32_t index, char* name, std::uint32_t nameSize) {
    RegNode* node = nullptr;
    if (long e = KeyAccess(key, reg::kEnumerateSubKeys, node)) return e;
    if (!name) return err::kInvalidParameter;
    if (long e = Fault("enumkey", node, std::to_string(index))) return e;
    if (index >= node->children.size()) return err::kNoMoreItems;
    const std::string& n = node->children[index]->name;
    if (nameSize <= n.size()) return err::kMoreData;
    std::memcpy(name, n.c_str(), n.size() + 1);
    return err::kSuccess;
}

std::uint32_t SimDesktop::ExpandEnvironmentStrings(const std::string& source, char* destination,
                                                   std::uint32_t size) {
    std::string out;
    for (size_t i = 0; i < source.size();) {
        size_t close = source[i] == '%' ? source.find('%', i + 1) : std::string::npos;
        if (close != std::string::npos) {
            auto it = environment_.find(text::Upper(source.substr(i + 1, close - i - 1)));
            if (it != environment_.end()) {
                out += it->second;
                i = close + 1;
                continue;
            }
        }
        out += source[i++];
    }
    const auto needed = static_cast<std::uint32_t>(out.size() + 1);
    if (destination && size >= needed) std::memcpy(destination, out.c_str(), needed);
    return needed;
}

bool SimDesktop::PeekValue(HKey root, const std::string& key, const std::string& name,
                           std::uint32_t& type, std::vector<std::uint8_t>& data) const {
    const RegNode* node = WalkConst(RootNode(root), key);
    if (!node) return false;
    for (const RegValue& v : node->values) {
        if (SameName(v.name, name)) {
            type = v.type;
            data = v.data;
            return true;
        }
    }
    return false;
}

bool SimDesktop::PeekKey(HKey root, const std::string& key) const {
    return WalkConst(RootNode(root), key) != nullptr;
}

void SimDesktop::PokeValue(HKey root, const std::string& key, const std::string& name,
                           std::uint32_t type, std::vector<std::uint8_t> data) {
    RegNode* node = Walk(RootNode(root), key, true);
    for (RegValue& v : node->values) {
        if (SameName(v.name, name)) {
            v.type = type;
            v.data = std::move(data);
            return;
        }
    }
    node->values.push_back({name, type, std::move(data)});
}

void SimDesktop::PokeString(HKey root, const std::string& key, const std::string& name,
                            const std::string& text, std::uint32_t type) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    PokeValue(root, key, name, type, std::move(data));
}

}  // namespace hw::platform::sim
