#include "automation/remote_lists.h"

#include <algorithm>
#include <limits>
#include <cstring>

#include "automation/cell_records.h"
#include "automation/list_box.h"
#include "automation/process.h"
#include "automation/send.h"
#include "common/text.h"

namespace hw::automation {

namespace p = platform;
using namespace platform::records;

namespace {

// The memory rights, and the query right IsWow64Process needs to tell the
// record layout.
constexpr std::uint32_t kRemoteAccess =
    p::proc::kVmOperation | p::proc::kVmRead | p::proc::kVmWrite | p::proc::kQueryLimitedInformation;
constexpr std::uint64_t kLostAfterMs = 10000;
constexpr size_t kMostBlocks = 8;

// Copies to and from memory reserved in another process.
bool Write(p::Desktop& d, const p::UniqueRemoteMemory& block, const void* data, std::uint64_t size,
           std::uint64_t offset = 0) {
    return d.WriteProcessMemory(block.get().process, block.get().address + offset, data, size, nullptr);
}
bool Read(p::Desktop& d, const p::UniqueRemoteMemory& block, void* data, std::uint64_t size, std::uint64_t offset = 0) {
    return d.ReadProcessMemory(block.get().process, block.get().address + offset, data, size, nullptr);
}


// A 32-bit process sees only the low 32 bits of a pointer in its records
// and its messages: a block above them is out of its reach.
bool Reachable(bool layout32, const p::UniqueRemoteMemory& block, std::uint64_t size) {
    return block && (!layout32 || block.get().address.value() + size <= 0x1'0000'0000ull);
}

// Whether a 32-bit Harrowatch runs on 64-bit Windows (under WOW64).
std::optional<bool> OnWindows64(p::Desktop& d) {
    p::UniqueHandle self(d, d.OpenProcess(p::proc::kQueryLimitedInformation, false, d.GetCurrentProcessId()));
    bool wow64 = false;
    if (!self || !d.IsWow64Process(self.get(), &wow64)) return std::nullopt;
    return wow64;
}

// A handle on a program with the rights its records need, and the layout
// they take; no handle when either cannot be had.
struct RecordTarget {
    p::UniqueHandle process;
    bool layout32 = true;
};
RecordTarget OpenForRecords(p::Desktop& d, p::Pid processId) {
    RecordTarget target;
    target.process = p::UniqueHandle(d, d.OpenProcess(kRemoteAccess, false, processId));
    if (!target.process) return target;
    // Records of the wrong width would be read as garbage by the program.
    const std::optional<bool> layout = UsesLayout32(d, target.process.get());
    if (!layout) target.process.reset();
    target.layout32 = layout.value_or(true);
    return target;
}

}  // namespace

std::optional<bool> UsesLayout32(p::Desktop& d, p::Handle process) {
    bool wow64 = false;
    if (!d.IsWow64Process(process, &wow64)) return std::nullopt;
    if (d.Is64BitProcess()) return wow64;
    // A 32-bit Harrowatch reads 32-bit programs only: on 64-bit Windows a
    // program not under WOW64 is 64-bit, and its records are not for it.
    if (wow64) return true;
    const std::optional<bool> windows64 = OnWindows64(d);
    if (!windows64 || *windows64) return std::nullopt;
    return true;
}

bool BeyondReach(p::Desktop& d, p::Pid processId) {
    if (d.Is64BitProcess()) return false;
    p::UniqueHandle process(d, d.OpenProcess(p::proc::kQueryLimitedInformation, false, processId));
    bool wow64 = false;
    if (!process || !d.IsWow64Process(process.get(), &wow64) || wow64) return false;
    return OnWindows64(d).value_or(false);
}

std::int32_t MakeLParam(std::int32_t low, std::int16_t high) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint16_t>(high)) << 16 |
                                     static_cast<std::uint16_t>(low & 0xFFFF));
}

UnansweredBlocks::~UnansweredBlocks() {
    for (Kept& k : kept_)
        for (p::UniqueRemoteMemory& b : k.blocks) b.release();
}

void UnansweredBlocks::Keep(Hwnd window, p::UniqueHandle process, std::vector<p::UniqueRemoteMemory> blocks) {
    // A window that is gone takes nothing more: its blocks go at once.
    if (!d_.IsWindow(window)) return;
    kept_.push_back({window, std::move(process), std::move(blocks)});
}

void UnansweredBlocks::DropEnded() {
    constexpr std::uint32_t kStillActive = 259;
    std::erase_if(kept_, [&](Kept& k) {
        std::uint32_t code = kStillActive;
        if (d_.GetExitCodeProcess(k.process.get(), &code) && code != kStillActive) {
            for (p::UniqueRemoteMemory& b : k.blocks) b.release();  // gone with the program
            return true;
        }
        return !d_.IsWindow(k.window);
    });
}

bool UnansweredBlocks::Settled(Hwnd window) {
    DropEnded();
    if (std::none_of(kept_.begin(), kept_.end(), [&](const Kept& k) { return k.window == window; })) return true;
    if (!SendTimed(d_, window, p::msg::kNull, 0, 0)) return false;
    std::erase_if(kept_, [&](const Kept& k) { return k.window == window; });
    return true;
}

namespace {

std::vector<p::UniqueRemoteMemory> Blocks(p::UniqueRemoteMemory a, p::UniqueRemoteMemory b = {}) {
    std::vector<p::UniqueRemoteMemory> blocks;
    blocks.push_back(std::move(a));
    if (b) blocks.push_back(std::move(b));
    return blocks;
}

// Rows first..first+rows-1, the given columns of each, with synchronous
// sends: one process open, one remote block, one write and one read.
std::vector<std::vector<std::string>> ReadRows(p::Desktop& d, Hwnd listView, p::Pid processId, int first, int rows,
                                               const std::vector<int>& columns, UnansweredBlocks& unanswered) {
    std::vector<std::vector<std::string>> result;
    if (rows <= 0 || columns.empty() || !unanswered.Settled(listView)) return result;
    RecordTarget target = OpenForRecords(d, processId);
    if (!target.process) return result;
    p::UniqueHandle& process = target.process;
    const bool layout32 = target.layout32;
    const size_t recordSize = RecordSize(layout32);
    const size_t cells = static_cast<size_t>(rows) * columns.size();
    // One block: every cell's record, then every cell's text slot.
    const size_t recordsBytes = (cells * recordSize + 15) & ~size_t{15};
    p::UniqueRemoteMemory block = p::ReserveRemote(d, process.get(), recordsBytes + cells * kSlot);
    if (!Reachable(layout32, block, recordsBytes + cells * kSlot)) return result;
    std::vector<std::uint8_t> records(recordsBytes, 0);
    PutCellRecords(records, layout32, columns, cells, block.get().address, recordsBytes);
    if (!Write(d, block, records.data(), records.size())) return result;
    for (size_t i = 0; i < cells; ++i) {
        const auto row = static_cast<std::uint64_t>(first + static_cast<int>(i / columns.size()));
        if (!SendTimed(d, listView, p::msg::kLvmGetItemTextA, row,
                       static_cast<std::int64_t>((block.get().address + i * recordSize).value()))) {
            // Gone or hung: nothing read, and the list may still answer.
            unanswered.Keep(listView, std::move(process), Blocks(std::move(block)));
            return result;
        }
    }
    std::vector<std::uint8_t> texts(cells * kSlot, 0);
    if (!Read(d, block, texts.data(), texts.size(), recordsBytes)) return result;
    return CellsFromSlots(texts.data(), rows, columns.size());
}

}  // namespace

std::string GetListViewCellText(p::Desktop& d, Hwnd listView, p::Pid processId, int subItem, int item) {
    UnansweredBlocks unanswered(d);
    const auto cells = ReadRows(d, listView, processId, item, 1, {subItem}, unanswered);
    return cells.empty() ? std::string() : cells[0][0];
}

std::vector<std::vector<std::string>> GetListViewCells(p::Desktop& d, Hwnd listView, p::Pid processId,
                                                       int rows, const std::vector<int>& columns,
                                                       UnansweredBlocks* unanswered) {
    UnansweredBlocks own(d);
    return ReadRows(d, listView, processId, 0, rows, columns, unanswered ? *unanswered : own);
}

void ListViewReader::Release() {
    // Requests still queued would write into a released block: it is left
    // to the program.
    if (pending_)
        for (p::UniqueRemoteMemory& b : blocks_) b.release();
    blocks_.clear();
    process_.reset();
    pid_ = 0;
    capacity_ = 0;
    pending_ = 0;
}

bool ListViewReader::Answered(p::RemoteAddress slot) {
    std::uint8_t bytes[kSlot];
    if (!d_.ReadProcessMemory(process_.get(), slot, bytes, kSlot, nullptr)) return false;
    // The slot was filled with 0xFF: the answer's terminator is a zero.
    return std::find(bytes, bytes + kSlot, 0) != bytes + kSlot;
}

bool ListViewReader::Open(p::Pid processId) {
    if (processId == pid_ && process_) return true;
    Release();
    RecordTarget target = OpenForRecords(d_, processId);
    if (!target.process) return false;
    process_ = std::move(target.process);
    pid_ = processId;
    layout32_ = target.layout32;
    return true;
}

bool ListViewReader::EarlierBatchDone(Hwnd listView) {
    if (!pending_) return true;
    if (!Answered(pending_)) {
        // Still busy with the last batch, or its end mark was lost (the list
        // emptied before it came): a program that answers at once but not
        // the mark for long has dropped it. Its block is left to it; the
        // next batch takes a new one.
        std::int64_t count = 0;
        if (d_.TickCount() - pendingSince_ < kLostAfterMs || !SendTimed(d_, listView, p::msg::kLvmGetItemCount, 0, 0, &count))
            return false;
        capacity_ = 0;
    }
    pending_ = 0;
    return true;
}

bool ListViewReader::EnsureBlock(std::uint64_t needed) {
    if (needed <= capacity_) return true;
    // The old block stays: requests to it may still be queued.
    const std::uint64_t size = std::max<std::uint64_t>(needed * 2, 64 * 1024);
    p::UniqueRemoteMemory block = p::ReserveRemote(d_, process_.get(), size);
    if (!Reachable(layout32_, block, size)) return false;
    blocks_.push_back(std::move(block));
    capacity_ = size;
    return true;
}

std::vector<std::vector<std::string>> ListViewReader::Read(Hwnd listView, p::Pid processId, int rows,
                                                           const std::vector<int>& columns) {
    std::vector<std::vector<std::string>> result;
    if (rows <= 0 || columns.empty() || !processId) return result;
    if (!Open(processId) || !EarlierBatchDone(listView)) return result;
    const std::uint32_t wait = LoopHold::Allowance(d_, p::msg::kSendTimeoutMs);
    if (!wait) return result;
    // A program that keeps losing batches is read the slow way.
    if (blocks_.size() >= kMostBlocks && capacity_ == 0)
        return GetListViewCells(d_, listView, processId, rows, columns, &slowReads_);

    // The batch: every cell's record and one more for the end mark, then
    // their text slots, the end mark's filled with 0xFF.
    const size_t recordSize = RecordSize(layout32_);
    const size_t cells = static_cast<size_t>(rows) * columns.size();
    const size_t recordsBytes = ((cells + 1) * recordSize + 15) & ~size_t{15};
    const size_t needed = recordsBytes + (cells + 1) * kSlot;
    if (!EnsureBlock(needed)) return result;
    const p::RemoteAddress base = blocks_.back().get().address;
    std::vector<std::uint8_t> bytes(needed, 0);
    PutCellRecords(bytes, layout32_, columns, cells + 1, base, recordsBytes);
    const p::RemoteAddress mark = base + recordsBytes + cells * kSlot;
    std::memset(bytes.data() + recordsBytes + cells * kSlot, 0xFF, kSlot);
    if (!d_.WriteProcessMemory(process_.get(), base, bytes.data(), bytes.size(), nullptr)) return result;

    for (size_t i = 0; i <= cells; ++i) {
        const auto row = static_cast<std::uint64_t>(i < cells ? i / columns.size() : 0);
        if (!d_.PostMessage(listView, p::msg::kLvmGetItemTextA, row, static_cast<std::int64_t>((base + i * recordSize).value()))) {
            // A full queue: what was posted may still come, so the next
            // batch takes a new block; this one is read the slow way.
            capacity_ = 0;
            return GetListViewCells(d_, listView, processId, rows, columns, &slowReads_);
        }
    }
    // The end mark is answered last: the program's queue keeps the order.
    pending_ = mark;
    pendingSince_ = d_.TickCount();
    while (!Answered(mark)) {
        if (d_.TickCount() - pendingSince_ >= wait) return result;  // hung: pending_ stays
        d_.Sleep(1);
    }
    pending_ = 0;
    std::vector<std::uint8_t> texts(cells * kSlot, 0);
    if (!d_.ReadProcessMemory(process_.get(), base + recordsBytes, texts.data(), texts.size(), nullptr)) return result;
    return CellsFromSlots(texts.data(), rows, columns.size());
}

std::vector<std::string> GetListBoxLines(p::Desktop& d, Hwnd listBox, std::int32_t start) {
    return ReadListBoxTail(d, listBox, start, std::numeric_limits<std::int32_t>::max(),
                           std::numeric_limits<std::int32_t>::max())
        .lines;
}

ListBoxTail ReadListBoxTail(p::Desktop& d, Hwnd listBox, std::int32_t start, std::int32_t newest, std::int32_t most) {
    ListBoxTail tail{start, {}};
    std::int64_t count = 0;
    if (start < 0 || newest < 1 || most < 1 || !SendTimed(d, listBox, p::msg::kLbGetCount, 0, 0, &count)) return tail;
    if (count <= start || count > std::numeric_limits<std::int32_t>::max()) return tail;
    tail.first = static_cast<std::int32_t>(std::max<std::int64_t>(start, count - newest));
    const auto end = static_cast<std::int32_t>(std::min<std::int64_t>(count, std::int64_t{tail.first} + most));
    const std::uint32_t wait = LoopHold::Allowance(d, p::msg::kSendTimeoutMs);
    if (wait) tail.lines = ReadListBoxLines(d, listBox, tail.first, end, p::msg::kSmtoAbortIfHung, wait);
    return tail;
}

std::int32_t GetToolbarButtonPoint(p::Desktop& d, Hwnd toolbar, p::Pid processId, std::int16_t index,
                                   UnansweredBlocks* unanswered) {
    UnansweredBlocks own(d);
    UnansweredBlocks& waiting = unanswered ? *unanswered : own;
    if (!waiting.Settled(toolbar)) return 0;
    RecordTarget target = OpenForRecords(d, processId);
    if (!target.process) return 0;
    p::UniqueHandle& process = target.process;
    const bool layout32 = target.layout32;
    const size_t buttonSize = layout32 ? sizeof(TbButton32) : sizeof(TbButton64);
    p::UniqueRemoteMemory button = p::ReserveRemote(d, process.get(), buttonSize);
    p::UniqueRemoteMemory rect = p::ReserveRemote(d, process.get(), sizeof(Rect));
    if (!Reachable(layout32, button, buttonSize) || !Reachable(layout32, rect, sizeof(Rect))) return 0;
    // Gone or hung: nothing read, and the toolbar may still answer.
    auto keep = [&] {
        waiting.Keep(toolbar, std::move(process), Blocks(std::move(button), std::move(rect)));
        return 0;
    };
    std::uint8_t bytes[sizeof(TbButton64)] = {};
    if (!Write(d, button, bytes, buttonSize)) return 0;
    if (!SendTimed(d, toolbar, p::msg::kTbGetButton, static_cast<std::uint64_t>(index),
                   static_cast<std::int64_t>(button.get().address.value())))
        return keep();
    if (!Read(d, button, bytes, buttonSize)) return 0;
    std::int32_t command = 0;
    std::memcpy(&command, bytes + offsetof(TbButton32, idCommand), sizeof command);  // same in both layouts
    Rect r{};
    if (!Write(d, rect, &r, sizeof r)) return 0;
    if (!SendTimed(d, toolbar, p::msg::kTbGetRect, static_cast<std::uint64_t>(static_cast<std::uint32_t>(command)),
                   static_cast<std::int64_t>(rect.get().address.value())))
        return keep();
    if (!Read(d, rect, &r, sizeof r)) return 0;
    const auto x = static_cast<std::int32_t>(text::RoundHalfEven((static_cast<double>(r.left) + r.right) / 2));
    const auto y = static_cast<std::int32_t>(text::RoundHalfEven((static_cast<double>(r.top) + r.bottom) / 2));
    return MakeLParam(x, static_cast<std::int16_t>(y));
}

}  // namespace hw::automation
