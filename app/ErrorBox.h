#pragma once
// The general error box: every error that leaves a window handler ends up here, shown
// with the application title, a stop icon and an OK button.
#include <QString>
#include <functional>

namespace qrp {

// The message as the box shows it: a full stop is added when the last character
// sorts after ".".
QString ErrorBoxText(const QString& message);

// Shows the box for message (ErrorBoxText is applied here).
void ShowErrorBox(const QString& message);

// Replaces how the box is shown (title, text); an empty hook restores the message box.
// Returns the previous hook.
using TErrorBoxHook = std::function<void(const QString& title, const QString& text)>;
TErrorBoxHook SetErrorBoxHook(TErrorBoxHook hook);

// A note for the user that is no error (a print job kept by a stopped printer): the
// application title, an information icon, an OK button. ErrorBoxText is applied.
void ShowNoticeBox(const QString& message);
// Replaces how the note is shown, as SetErrorBoxHook does for the error box.
TErrorBoxHook SetNoticeBoxHook(TErrorBoxHook hook);

// The width a message box needs for its title not to be cut in the title bar: the
// title in the title-bar font beside the bar's icon and buttons.
int MessageBoxWidthForTitle(const QString& title);

} // namespace qrp
