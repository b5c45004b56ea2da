#pragma once
// The host's modal message box: a text, a kind (information, question, warning, error) and
// the buttons to offer, with pt-BR captions; it answers the modal result of the button
// pressed (mrOk, mrYes, mrNo; mrCancel when the box is closed otherwise).
//
// Tests install an answerer that takes the box's place and says which button was pressed,
// so that no window is shown.

#include <QString>

#include <functional>

class QWidget;

namespace kpr {

enum class TMsgDlgType { mtInformation, mtConfirmation, mtWarning, mtError };

enum TMsgDlgButton { mbOK = 1, mbYes = 2, mbNo = 4 };
using TMsgDlgButtons = int;

// The modal results of the buttons, as the host numbers them.
inline constexpr int mrMsgOk = 1;
inline constexpr int mrMsgCancel = 2;
inline constexpr int mrMsgYes = 6;
inline constexpr int mrMsgNo = 7;

int MessageDlg(QWidget *parent, const QString &text, TMsgDlgType type, TMsgDlgButtons buttons);

using MessageDlgAnswerer = std::function<int(const QString &text, TMsgDlgType type, TMsgDlgButtons buttons)>;
// Replaces the box (empty: the box again).
void setMessageDlgAnswerer(MessageDlgAnswerer answerer);

} // namespace kpr
