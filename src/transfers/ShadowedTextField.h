#pragma once

#include "uikit/PZTextAttributes.h"

#include <QLabel>
#include <QPointer>

namespace ombrelay {

// A one-line text drawn with a hard shadow under it (black at 70 %, shared by other views); control
// characters show as spaces and a text too long is elided. A selectable field draws white. While its
// delegate view is set and shown, clicks go to that view.
class ShadowedTextField : public QLabel
{
    Q_OBJECT
public:
    explicit ShadowedTextField(QWidget* parent = nullptr);

    static const PZShadow& shadow();
    // The text on one line: every control or separator character becomes a space.
    static QString singleLine(const QString& text);

    QWidget* delegateView() const { return m_delegateView; }
    void setDelegateView(QWidget* view) { m_delegateView = view; }
    // The colour the text is drawn in.
    QColor textColor() const;
    // The text as drawn: on one line and elided to the width.
    QString displayedText() const;

protected:
    virtual const PZShadow& fieldShadow() const { return shadow(); }
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QPointer<QWidget> m_delegateView;
};

}  // namespace ombrelay
