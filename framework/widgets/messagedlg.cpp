#include "framework/widgets/messagedlg.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {

MessageDlgAnswerer &answerer()
{
    static MessageDlgAnswerer a;
    return a;
}

QMessageBox::Icon iconOf(TMsgDlgType type)
{
    switch (type) {
    case TMsgDlgType::mtInformation: return QMessageBox::Information;
    case TMsgDlgType::mtConfirmation: return QMessageBox::Question;
    case TMsgDlgType::mtWarning: return QMessageBox::Warning;
    case TMsgDlgType::mtError: return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void setMessageDlgAnswerer(MessageDlgAnswerer a)
{
    answerer() = std::move(a);
}

int MessageDlg(QWidget *parent, const QString &text, TMsgDlgType type, TMsgDlgButtons buttons)
{
    if (answerer())
        return answerer()(text, type, buttons);

    QMessageBox box(iconOf(type), QApplication::applicationDisplayName(), text, QMessageBox::NoButton,
                    parent ? parent : QApplication::activeWindow());
    box.setObjectName(u"dlgMensagem"_s);
    QPushButton *yes = nullptr;
    QPushButton *no = nullptr;
    QPushButton *ok = nullptr;
    if (buttons & mbYes)
        yes = box.addButton(u"Sim"_s, QMessageBox::YesRole);
    if (buttons & mbNo)
        no = box.addButton(u"Não"_s, QMessageBox::NoRole);
    if (buttons & mbOK || !(yes || no))
        ok = box.addButton(u"OK"_s, QMessageBox::AcceptRole);
    box.setDefaultButton(yes ? yes : ok ? ok : no);
    box.exec();
    QAbstractButton *pressed = box.clickedButton();
    if (pressed && pressed == yes)
        return mrMsgYes;
    if (pressed && pressed == no)
        return mrMsgNo;
    if (pressed && pressed == ok)
        return mrMsgOk;
    return mrMsgCancel;
}

} // namespace kpr
