#pragma once
// The host's progress animation: a panel with a busy mark and a text laid over a screen
// while a synchronous step (a server call, a query, an export) runs. The step blocks the
// event loop, so the panel is painted at once with repaint(); no events are processed,
// which keeps the user's input from re-entering the screen meanwhile.

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

namespace kpr {

// Shows the animation over form (kind: the host's animation kind, 1 = the usual one) with
// text under it; a second call on the same form changes the text.
void ActiveShowAvi(QWidget *form, int kind = 1, const QString &text = QString());
// Is told every non-empty text an animation shows, for a program without a window that
// reports the same progress on its terminal (empty: nobody).
using ShowAviObserver = std::function<void(const QString &text)>;
void setShowAviObserver(ShowAviObserver observer);

// Takes the animation of form down; nothing happens when none is shown.
void DeactiveShowAvi(QWidget *form);
// The overlay now shown over form, or nullptr (objectName "kprShowAvi"), and its text.
QWidget *showAviOverlay(QWidget *form);
QString showAviText(QWidget *form);

// Shows the animation for the guard's life and takes it down on every way out, exceptions
// included. Nested guards on one form put the outer text back when the inner one ends.
class ShowAviGuard
{
public:
    ShowAviGuard(QWidget *form, int kind, const QString &text);
    ShowAviGuard(QWidget *form, const QString &text) : ShowAviGuard(form, 1, text) {}
    ~ShowAviGuard();
    ShowAviGuard(const ShowAviGuard &) = delete;
    ShowAviGuard &operator=(const ShowAviGuard &) = delete;

private:
    QPointer<QWidget> m_form;
    bool m_wasShown = false;
    int m_previousKind = 1;
    QString m_previousText;
};

} // namespace kpr
