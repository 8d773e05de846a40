// The dialog manager of the test platform: controls hold their values in memory,
// as the real ones would, and the calls go to the shared log.
//   Recorded lines: enddialog RESULT
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/dialog_services.h"

namespace vellora::test {

class TestDialog : public DialogServices {
public:
    explicit TestDialog(std::vector<std::string>& log) : log_(log) {}

    void endDialog(WindowHandle, std::intptr_t result) override {
        log_.push_back("enddialog " + std::to_string(result));
        ended = true;
    }
    void addComboString(WindowHandle, std::int32_t item, const char* text) override { combo[item].push_back(text); }
    // As the combo box does: an index outside the list leaves nothing selected.
    void setComboSelection(WindowHandle, std::int32_t item, std::int32_t index) override {
        selection[item] = index >= 0 && index < static_cast<std::int32_t>(combo[item].size()) ? index : -1;
    }
    std::int32_t comboSelection(WindowHandle, std::int32_t item) override {
        return selection.count(item) ? selection[item] : -1;
    }
    void setItemText(WindowHandle, std::int32_t item, const std::string& value) override { text[item] = value; }
    std::string itemText(WindowHandle, std::int32_t item, std::size_t bufferSize) override {
        return text[item].substr(0, bufferSize - 1);
    }
    void setItemSignedInt(WindowHandle, std::int32_t item, std::int32_t value) override {
        text[item] = std::to_string(value);
    }
    // Like GetDlgItemInt: 0 when the text is not a number.
    std::int32_t itemSignedInt(WindowHandle, std::int32_t item) override {
        try {
            std::size_t used = 0;
            const long long v = std::stoll(text[item], &used);
            return used == text[item].size() && v >= INT32_MIN && v <= INT32_MAX ? static_cast<std::int32_t>(v) : 0;
        } catch (...) {
            return 0;
        }
    }
    void checkButton(WindowHandle, std::int32_t item, std::uint32_t state) override { checked[item] = state; }
    std::uint32_t buttonState(WindowHandle, std::int32_t item) override { return checked[item]; }

    void reset() {
        combo.clear(), selection.clear(), text.clear(), checked.clear();
        ended = false;
    }

    std::map<std::int32_t, std::vector<std::string>> combo;
    std::map<std::int32_t, std::int32_t> selection;
    std::map<std::int32_t, std::string> text;
    std::map<std::int32_t, std::uint32_t> checked;
    bool ended = false;

private:
    std::vector<std::string>& log_;
};

}  // namespace vellora::test
