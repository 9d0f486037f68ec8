// Headless models of the controls Harrowatch's windows are made of. A window
// of the system sets and reads them like a form its controls; ui/win32 binds
// each to a native control, and tests read them directly.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/desktop.h"

namespace hw::ui {

class Label {
public:
    const std::string& Text() const { return text_; }
    // Raises onChange when the text changes.
    void SetText(const std::string& text) {
        if (text == text_) return;
        text_ = text;
        if (onChange) onChange();
        if (onRedraw) onRedraw();
    }
    // What the operator typed: the model follows the native control, which
    // needs no redraw.
    void TrackText(const std::string& text) {
        if (text == text_) return;
        text_ = text;
        if (onChange) onChange();
    }
    int SelStart() const { return selStart_; }
    void SetSelStart(int at) {
        selStart_ = at;
        if (onSelect) onSelect();
    }
    // Asks for the input focus.
    void SetFocus() {
        ++focusRequests;
        if (onFocus) onFocus();
    }
    std::function<void()> onChange;
    std::function<void()> onRedraw;
    std::function<void()> onSelect;
    std::function<void()> onFocus;
    int focusRequests = 0;

private:
    std::string text_;
    int selStart_ = 0;
};

using TextBox = Label;

class ListView {
public:
    std::vector<std::string> columns;
    const std::vector<std::vector<std::string>>& Items() const { return items_; }
    void Clear() {
        items_.clear();
        Changed();
    }
    // Redraws only when something changed: the list is set on every poll.
    void SetItems(std::vector<std::vector<std::string>> items) {
        if (items == items_) return;
        items_ = std::move(items);
        Changed();
    }
    std::function<void()> onRedraw;

private:
    void Changed() {
        if (onRedraw) onRedraw();
    }
    std::vector<std::vector<std::string>> items_;
};

// A list box that keeps at most `maxLines`, dropping the oldest: past the
// cap, down to nine tenths of it.
class ListBox {
public:
    explicit ListBox(std::size_t maxLines = 0) : maxLines_(maxLines) {}
    const std::deque<std::string>& Lines() const { return lines_; }
    std::size_t Count() const { return lines_.size(); }
    // Appends, drops the oldest beyond the cap, and redraws once.
    enum Follow { KeepSelection, SelectLast };
    void AddLines(const std::vector<std::string>& lines, Follow follow = KeepSelection);
    int Selected() const { return selected_; }
    void SetSelected(int index) {
        selected_ = index;
        if (onRedraw) onRedraw(0);
    }
    void Clear() {
        lines_.clear();
        selected_ = -1;
        if (onRedraw) onRedraw(0);
    }
    // How many lines the binding must drop from its front, then redraw.
    std::function<void(std::size_t droppedFront)> onRedraw;

private:
    std::size_t maxLines_;
    std::deque<std::string> lines_;
    int selected_ = -1;
};

class Toolbar {
public:
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on) {
        enabled_ = on;
        if (onRedraw) onRedraw();
    }
    std::function<void(int button)> onClick;  // 1-based, as the buttons are counted
    std::function<void()> onRedraw;

private:
    bool enabled_ = true;
};

class StatusBar {
public:
    const std::string& Panel(int index) const { return panels_.at(static_cast<size_t>(index - 1)); }
    void SetPanel(int index, const std::string& text) {
        std::string& panel = panels_.at(static_cast<size_t>(index - 1));
        if (panel == text) return;
        panel = text;
        if (onRedraw) onRedraw();
    }
    std::function<void()> onRedraw;

private:
    std::vector<std::string> panels_ = std::vector<std::string>(2);
};

class Tabs {
public:
    explicit Tabs(std::vector<std::string> names) : names_(std::move(names)), enabled_(names_.size(), true) {}
    const std::vector<std::string>& Names() const { return names_; }
    bool TabEnabled(int i) const { return enabled_.at(static_cast<size_t>(i)); }
    void SetTabEnabled(int i, bool on) { enabled_.at(static_cast<size_t>(i)) = on; }
    int Selected() const { return selected_; }
    // Selecting a switched-off tab does nothing.
    void Select(int i) {
        if (i < 0 || i >= static_cast<int>(names_.size()) || !enabled_[static_cast<size_t>(i)]) return;
        selected_ = i;
        if (onSelect) onSelect();
    }
    std::function<void()> onSelect;

private:
    std::vector<std::string> names_;
    std::vector<bool> enabled_;
    int selected_ = 0;
};

// A poll timer on the platform's message loop.
class Timer {
public:
    explicit Timer(platform::Desktop& desktop) : desktop_(desktop) {}
    ~Timer() { Stop(); }
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
    bool Enabled() const { return enabled_; }
    // Switching the timer on starts its countdown afresh.
    void SetEnabled(bool on);
    // Switches it like SetEnabled, except that a timer held off and then
    // switched on again keeps the moment it was due: a window that brackets
    // its own calls with the timer does not keep postponing its ticks, however
    // long the calls wait.
    void Hold(bool on);
    std::uint32_t Interval() const { return interval_; }
    // The timer takes 0 to 65,535 ms; 0 stops the ticks. Anything else is
    // refused (false) and the interval stays.
    bool SetInterval(std::int64_t ms);
    std::function<void()> onTick;

private:
    void Restart();
    void Stop();
    void Arm(std::uint32_t ms);
    platform::Desktop& desktop_;
    bool enabled_ = false;
    std::uint32_t interval_ = 0;
    std::uint32_t id_ = 0;
    std::uint32_t period_ = 0;        // what the running timer was set to
    std::uint64_t dueAt_ = 0;         // when it ticks next
    std::uint64_t heldDueAt_ = 0;     // when a timer held off was due; 0: none
};

// Where a control floats over another one (twips, in their common parent),
// and whether it shows.
struct Placement {
    int left = 0, top = 0, width = 0, height = 315;
    bool visible = true;
    void Place(int l, int t, int w) {
        left = l, top = t, width = w;
        if (onPlace) onPlace();
    }
    void SetVisible(bool on) {
        visible = on;
        if (onPlace) onPlace();
    }
    std::function<void()> onPlace;
};

// A drop-down list: entries with item data, the selected entry and the text.
class ComboBox {
public:
    struct Entry {
        std::string text;
        std::int32_t itemData;
    };
    const std::vector<Entry>& Entries() const { return entries_; }
    void AddItem(std::string text, std::int32_t itemData) { entries_.push_back({std::move(text), itemData}); }
    int ListIndex() const { return index_; }
    // Selecting an entry, by the operator or from code, raises onClick.
    void SetListIndex(int index) {
        index_ = index;
        text_ = index >= 0 && index < static_cast<int>(entries_.size()) ? entries_[static_cast<size_t>(index)].text : "";
        if (onRedraw) onRedraw();
        if (index >= 0 && onClick) onClick();
    }
    const std::string& Text() const { return text_; }
    // Setting the text selects the entry that has it, which counts as a click.
    void SetText(const std::string& text) {
        for (size_t i = 0; i < entries_.size(); ++i)
            if (entries_[i].text == text) return SetListIndex(static_cast<int>(i));
        text_ = text;
        index_ = -1;
        if (onRedraw) onRedraw();
    }
    std::int32_t ItemData(int index) const { return entries_.at(static_cast<size_t>(index)).itemData; }
    Placement placement;
    std::function<void()> onClick;
    std::function<void()> onRedraw;

private:
    std::vector<Entry> entries_;
    int index_ = -1;
    std::string text_;
};

struct BusyPointer {
    bool busy = false;
    std::function<void()> onChange;
    void Set(bool on) {
        busy = on;
        if (onChange) onChange();
    }
};

}  // namespace hw::ui
