// Modal message boxes with text, caption and the classic button/icon flags.
// Every notice and question of the program goes through ShowMessageBox, so a
// test can install a handler that answers instead of a person.
// UI thread only.
#pragma once

#include <functional>
#include <string>

namespace ravlon {

// Button and icon flags (values of the classic message-box interface).
enum MessageBoxFlags : int {
    MB_OK = 0x00,
    MB_OKCANCEL = 0x01,
    MB_YESNOCANCEL = 0x03,
    MB_YESNO = 0x04,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
};

// Identifiers of the button pressed.
enum MessageBoxResult : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// Shows text and caption with the given flags and returns the button pressed.
// The text is always shown as plain text.
int ShowMessageBox(const std::string& text, const std::string& caption, int flags);

// Replaces the dialog (tests); an empty handler restores the real dialog.
// The handler gets text, caption and flags and returns the button identifier.
using MessageBoxHandler = std::function<int(const std::string&, const std::string&, int)>;
void SetMessageBoxHandler(MessageBoxHandler handler);

} // namespace ravlon
