// The message boxes a test saw.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "ui/message_box.h"

namespace hw::testing {

// Exactly one box was shown, and its text holds each of `parts`.
inline ::testing::AssertionResult OneBoxSaying(const ui::RecordingMessageBoxes& boxes,
                                               std::initializer_list<std::string_view> parts = {}) {
    if (boxes.shown.size() != 1)
        return ::testing::AssertionFailure() << boxes.shown.size() << " boxes shown"
                                             << (boxes.shown.empty() ? "" : ", the first: " + boxes.shown[0].text);
    for (std::string_view part : parts)
        if (boxes.shown[0].text.find(part) == std::string::npos)
            return ::testing::AssertionFailure() << "no '" << part << "' in: " << boxes.shown[0].text;
    return ::testing::AssertionSuccess();
}

}  // namespace hw::testing
