// Reading another program's list view, list box and toolbar. A list view and
// a toolbar answer only through records in the memory of their own process.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/owned.h"

namespace hw::automation {

using platform::Hwnd;

// Memory in another program that a request still points at after its send
// gave up waiting: Windows does not take a send back, so the program handles
// it when it next takes messages, however late, and writes its answer
// there. A block is released only once a later request to the same window
// has been answered (a window's thread takes sent messages in the order they
// were sent), or dropped when the program has ended.
class UnansweredBlocks {
public:
    explicit UnansweredBlocks(platform::Desktop& desktop) : d_(desktop) {}
    // What is still awaited is left to the program, never released under it.
    ~UnansweredBlocks();
    UnansweredBlocks(const UnansweredBlocks&) = delete;
    UnansweredBlocks& operator=(const UnansweredBlocks&) = delete;

    // Keeps the blocks a request to `window` points at; `process` is the
    // handle they were reserved through.
    void Keep(Hwnd window, platform::UniqueHandle process, std::vector<platform::UniqueRemoteMemory> blocks);
    // Whether nothing sent to `window` waits any more: asks it when
    // something does, and releases what was kept for it once it answers.
    bool Settled(Hwnd window);
    std::size_t Count() const { return kept_.size(); }

private:
    struct Kept {
        Hwnd window;
        platform::UniqueHandle process;  // declared first: outlives its blocks
        std::vector<platform::UniqueRemoteMemory> blocks;
    };
    // Forgets the blocks of programs that have ended: they went with them.
    void DropEnded();
    platform::Desktop& d_;
    std::vector<Kept> kept_;
};

// One cell, trimmed; empty when nothing was read. Memory that a request
// which timed out still points at is left to the program.
std::string GetListViewCellText(platform::Desktop& desktop, Hwnd listView, platform::Pid processId,
                                int subItem, int item);

// Rows 0..rows-1, the given columns of each: the same texts as
// GetListViewCellText, with one process open, one remote block, one write
// and one read for the whole list. Empty when nothing could be read, and
// while a request of an earlier read to the list is not yet answered.
// Without `unanswered`, memory a request still points at is left to the
// program.
std::vector<std::vector<std::string>> GetListViewCells(platform::Desktop& desktop, Hwnd listView,
                                                       platform::Pid processId, int rows,
                                                       const std::vector<int>& columns,
                                                       UnansweredBlocks* unanswered = nullptr);

// The whole list of a program polled again and again, for less work on
// both sides: the cell requests are posted in one go and waited for once,
// and the memory block in the program stays for as long as the program. A
// block is never released while requests to it may still be queued: a
// program that answers late writes into memory that is still its own.
class ListViewReader {
public:
    explicit ListViewReader(platform::Desktop& desktop) : d_(desktop) {}
    ~ListViewReader() { Release(); }
    ListViewReader(const ListViewReader&) = delete;
    ListViewReader& operator=(const ListViewReader&) = delete;

    // As GetListViewCells. Empty when nothing could be read, or while the
    // program has not yet answered the requests of an earlier read.
    std::vector<std::vector<std::string>> Read(Hwnd listView, platform::Pid processId, int rows,
                                               const std::vector<int>& columns);
    std::size_t Blocks() const { return blocks_.size(); }

private:
    void Release();
    // A handle on the program and its record layout, kept while it lives.
    bool Open(platform::Pid processId);
    // Whether the last batch was answered (or given up as lost).
    bool EarlierBatchDone(Hwnd listView);
    // A block of at least `needed` bytes at the back of blocks_.
    bool EnsureBlock(std::uint64_t needed);
    bool Answered(platform::RemoteAddress slot);

    platform::Desktop& d_;
    platform::Pid pid_ = 0;
    platform::UniqueHandle process_;
    bool layout32_ = true;
    std::vector<platform::UniqueRemoteMemory> blocks_;  // the last one is in use
    UnansweredBlocks slowReads_{d_};  // of the reads the slow way
    std::uint64_t capacity_ = 0;
    platform::RemoteAddress pending_ = 0;  // the slot of a batch not yet answered
    std::uint64_t pendingSince_ = 0;
};

// The lines from `start` to the end, in order. A program that stops
// answering part-way gives the lines read until then.
std::vector<std::string> GetListBoxLines(platform::Desktop& desktop, Hwnd listBox, std::int32_t start);

// The new lines of a list read poll after poll: from `start`, but none of
// those older than its newest `newest`, and at most `most` at a time, so
// that a long list is read over several polls. `first` is the index of the
// first line read, or where reading would have begun.
struct ListBoxTail {
    std::int32_t first = 0;
    std::vector<std::string> lines;
};
ListBoxTail ReadListBoxTail(platform::Desktop& desktop, Hwnd listBox, std::int32_t start, std::int32_t newest,
                            std::int32_t most);

// The centre of a toolbar button in the toolbar's client area, packed as a
// mouse message's lParam; 0 when it cannot be read, and while a request of
// an earlier call to the toolbar is not yet answered. Without `unanswered`,
// memory a request still points at is left to the program.
std::int32_t GetToolbarButtonPoint(platform::Desktop& desktop, Hwnd toolbar, platform::Pid processId,
                                   std::int16_t index, UnansweredBlocks* unanswered = nullptr);

std::int32_t MakeLParam(std::int32_t low, std::int16_t high);

// Whether the records for this process take the 32-bit layout; nothing when
// that cannot be told (the handle lacks the query right, the process went)
// or the process is beyond Harrowatch's reach.
std::optional<bool> UsesLayout32(platform::Desktop& desktop, platform::Handle process);

// A 64-bit program seen by a 32-bit Harrowatch on 64-bit Windows: its lists
// cannot be read from here (the 64-bit Harrowatch can).
bool BeyondReach(platform::Desktop& desktop, platform::Pid processId);

}  // namespace hw::automation
