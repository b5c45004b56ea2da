#pragma once
// The host's routine screen, base of every screen of a package: the screen-code label
// lblCodTela, the data box grbDadosRel that the screen fills, the button panel panMenu /
// panBotoes with the confirm button sbtConfirma, and the message table msgPadrao. It lives in
// a QMdiSubWindow of the shell, or is shown on its own with ShowModal.
//
// Handlers bear the host's names and are virtual, so that a screen's handler of the same
// name takes the base's place and calls it explicitly. They run behind the handler boundary
// (kpr::guarded): an abort or an exception ends the handler, never the program.
//   FormCreate   run by CreateForm<T>() once the screen is built (a failure propagates to
//                the creator, and the screen is destroyed)
//   FormActivate the screen became the active one
//   FormClose    the screen is closing; Action decides what happens (the base answers
//                caFree: the screen and its MDI window are destroyed). A failure in it
//                keeps the screen open.
//   FormKeyDown  every key pressed anywhere in the screen, before the control sees it
//                (Key = 0 swallows it); the base clicks sbtConfirma on Ctrl+Enter
//   FormKeyPress the typed character; the base moves on to the next control on Enter in a
//                line edit or combo box (ch = QChar() swallows it)

#include "framework/core/messages.h"

#include <QWidget>

#include <memory>
#include <utility>

class QEventLoop;
class QFrame;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QToolButton;
class QVBoxLayout;

namespace kpr {

enum TCloseAction { caNone, caHide, caFree, caMinimize };

// The modal results of the host: mrOk closes a modal screen with OK.
enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2 };

class TfrmRotiGeral : public QWidget
{
    Q_OBJECT

public:
    explicit TfrmRotiGeral(QWidget *parent = nullptr);
    ~TfrmRotiGeral() override;

    QLabel *lblCodTela;
    QGroupBox *grbDadosRel;
    QFrame *panMenu;
    QFrame *panBotoes;
    QToolButton *sbtConfirma;
    TMessages *msgPadrao;

    // The layout of panBotoes, for screens that add buttons of their own.
    QHBoxLayout *botoesLayout() const { return m_botoes; }

    virtual void FormCreate(QObject *Sender);
    virtual void FormActivate(QObject *Sender);
    virtual void FormClose(QObject *Sender, TCloseAction &Action);
    virtual void FormKeyDown(QObject *Sender, int &Key, Qt::KeyboardModifiers Shift);
    virtual void FormKeyPress(QObject *Sender, QChar &Key);
    // The confirm button's click; does nothing in the base.
    virtual void sbtConfirmaClick(QObject *Sender);

    // Shows the screen as a modal window and answers its modal result once it closes.
    int ShowModal();
    int ModalResult() const { return m_modalResult; }
    // A result other than mrNone closes a modal screen, as the host's ModalResult does.
    void setModalResult(int result);

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void attachToSubWindow();

    QHBoxLayout *m_botoes;
    QEventLoop *m_modalLoop = nullptr;
    int m_modalResult = mrNone;
    QObject *m_subWindow = nullptr;
};

// Builds a screen and runs its FormCreate. A failure of FormCreate destroys the screen and
// propagates to the caller.
template<typename T, typename... Args>
T *CreateForm(Args &&...args)
{
    auto form = std::make_unique<T>(std::forward<Args>(args)...);
    form->FormCreate(form.get());
    return form.release();
}

} // namespace kpr
