#include "framework/screens/frmrotigeral.h"

#include "framework/core/abort.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

TfrmRotiGeral::TfrmRotiGeral(QWidget *parent) : QWidget(parent)
{
    setObjectName(u"frmRotiGeral"_s);

    lblCodTela = new QLabel(this);
    lblCodTela->setObjectName(u"lblCodTela"_s);
    lblCodTela->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont small = lblCodTela->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    lblCodTela->setFont(small);

    grbDadosRel = new QGroupBox(this);
    grbDadosRel->setObjectName(u"grbDadosRel"_s);

    panMenu = new QFrame(this);
    panMenu->setObjectName(u"panMenu"_s);
    panMenu->setFrameShape(QFrame::StyledPanel);
    panBotoes = new QFrame(panMenu);
    panBotoes->setObjectName(u"panBotoes"_s);
    m_botoes = new QHBoxLayout(panBotoes);
    m_botoes->setContentsMargins(0, 0, 0, 0);

    sbtConfirma = new QToolButton(panBotoes);
    sbtConfirma->setObjectName(u"sbtConfirma"_s);
    sbtConfirma->setText(u"Confirmar"_s);
    sbtConfirma->setToolTip(u"Confirmar (Ctrl+Enter)"_s);
    sbtConfirma->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    sbtConfirma->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_botoes->addWidget(sbtConfirma);
    connect(sbtConfirma, &QToolButton::clicked, this, guarded([this](bool) { sbtConfirmaClick(sbtConfirma); }));

    auto *menu = new QHBoxLayout(panMenu);
    menu->setContentsMargins(4, 4, 4, 4);
    menu->addStretch(1);
    menu->addWidget(panBotoes);

    msgPadrao = new TMessages(this);
    msgPadrao->setObjectName(u"msgPadrao"_s);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->addWidget(lblCodTela);
    layout->addWidget(grbDadosRel, 1);
    layout->addWidget(panMenu);

    // The screen sees every key before its controls do (the host's KeyPreview).
    qApp->installEventFilter(this);
}

TfrmRotiGeral::~TfrmRotiGeral()
{
    if (m_modalLoop)
        m_modalLoop->exit(m_modalResult);
}

void TfrmRotiGeral::FormCreate(QObject *) {}

void TfrmRotiGeral::FormActivate(QObject *) {}

void TfrmRotiGeral::FormClose(QObject *, TCloseAction &Action)
{
    // The host's screens are released when they close; the next call builds a fresh one.
    Action = caFree;
}

void TfrmRotiGeral::FormKeyDown(QObject *, int &Key, Qt::KeyboardModifiers Shift)
{
    if ((Key == Qt::Key_Return || Key == Qt::Key_Enter) && (Shift & Qt::ControlModifier)) {
        Key = 0;
        sbtConfirma->click();
    }
}

void TfrmRotiGeral::FormKeyPress(QObject *, QChar &Key)
{
    if (Key != u'\r')
        return;
    QWidget *focus = QApplication::focusWidget();
    if (qobject_cast<QLineEdit *>(focus) || qobject_cast<QComboBox *>(focus)) {
        Key = QChar();
        focusNextChild();
    }
}

void TfrmRotiGeral::sbtConfirmaClick(QObject *) {}

bool TfrmRotiGeral::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    // A key event travels up from the focus widget to its parents; it is seen once, at
    // the focus widget, and only when that widget is part of this screen.
    auto *w = qobject_cast<QWidget *>(watched);
    if (!w || w != QApplication::focusWidget() || (w != this && !isAncestorOf(w)))
        return false;
    if (!isVisible() || !isEnabled())
        return false;
    auto *ke = static_cast<QKeyEvent *>(event);
    int key = ke->key();
    bool swallow = false;
    if (!runGuarded([&] { FormKeyDown(this, key, ke->modifiers()); }))
        swallow = true;
    if (key == 0)
        swallow = true;
    if (!swallow && !ke->text().isEmpty()) {
        QChar ch = ke->text().at(0);
        if (!runGuarded([&] { FormKeyPress(this, ch); }) || ch.isNull())
            swallow = true;
    }
    return swallow;
}

void TfrmRotiGeral::closeEvent(QCloseEvent *event)
{
    TCloseAction action = caHide;
    if (!runGuarded([&] { FormClose(this, action); })) {
        event->ignore(); // a failed close leaves the screen open
        return;
    }
    switch (action) {
    case caNone: event->ignore(); return;
    case caMinimize:
        event->ignore();
        if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
            sub->showMinimized();
        else
            showMinimized();
        return;
    case caFree:
        if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
            sub->setAttribute(Qt::WA_DeleteOnClose);
        else
            setAttribute(Qt::WA_DeleteOnClose);
        break;
    case caHide: break;
    }
    event->accept();
    if (m_modalLoop) {
        if (m_modalResult == mrNone)
            m_modalResult = mrCancel; // closed by its window, as the host answers
        m_modalLoop->exit(m_modalResult);
    }
}

bool TfrmRotiGeral::event(QEvent *event)
{
    if (event->type() == QEvent::ParentChange || event->type() == QEvent::Show)
        attachToSubWindow();
    return QWidget::event(event);
}

void TfrmRotiGeral::attachToSubWindow()
{
    auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget());
    if (sub == m_subWindow)
        return;
    if (m_subWindow)
        disconnect(m_subWindow, nullptr, this, nullptr);
    m_subWindow = sub;
    if (sub)
        connect(sub, &QMdiSubWindow::aboutToActivate, this, guarded([this] { FormActivate(this); }));
}

void TfrmRotiGeral::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // A screen of its own (not an MDI child) is activated with its window.
    if (event->type() == QEvent::ActivationChange && isWindow() && isActiveWindow())
        runGuarded([this] { FormActivate(this); });
}

int TfrmRotiGeral::ShowModal()
{
    if (parentWidget() && !isWindow())
        setParent(parentWidget(), Qt::Window);
    setWindowFlag(Qt::Window, true);
    setWindowModality(Qt::ApplicationModal);
    m_modalResult = mrNone;
    show();
    QPointer<TfrmRotiGeral> self(this);
    QEventLoop loop;
    m_modalLoop = &loop;
    const int result = loop.exec(QEventLoop::DialogExec);
    if (self)
        m_modalLoop = nullptr;
    return result;
}

void TfrmRotiGeral::setModalResult(int result)
{
    m_modalResult = result;
    if (result != mrNone && m_modalLoop)
        close();
}

} // namespace kpr
