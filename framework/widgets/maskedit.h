#pragma once
// A line edit driven by an edit mask in the host's notation (see framework/core/mask.h):
// ">aaaa;0; " takes up to four letters or digits, shows letters in upper case and blanks
// for the empty positions. The mask is translated to a Qt input mask.

#include <QLineEdit>

namespace kpr {

class TMaskEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(QString EditMask READ EditMask WRITE setEditMask)

public:
    explicit TMaskEdit(QWidget *parent = nullptr);

    QString EditMask() const { return m_editMask; }
    void setEditMask(const QString &hostMask);

    // The text as the host reads it: the characters typed, without blanks, and without the
    // mask's literals when the mask says not to keep them (";0;"). For ">aaaa;0; " this is
    // the same as text().
    QString Text() const;

    // The Qt input mask for a mask in the host's notation.
    static QString toQtInputMask(const QString &hostMask);

private:
    QString m_editMask;
};

} // namespace kpr
