#pragma once

#include <QAbstractButton>
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

namespace ombrelay {

// The base of the main window's panes (search, feed and web panes): a content widget with a title, an
// icon and the pane's tab in the tab strip.
class PZViewController : public QObject
{
    Q_OBJECT
public:
    explicit PZViewController(QObject* parent = nullptr) : QObject(parent) {}

    QWidget* contentView() const { return m_contentView; }
    virtual QString title() const { return m_title; }
    QIcon icon() const { return m_icon; }
    QAbstractButton* tabButton() const { return m_tabButton; }
    virtual void setTabButton(QAbstractButton* button) { m_tabButton = button; }

protected:
    void setContentView(QWidget* view) { m_contentView = view; }
    void setTitle(const QString& title) { m_title = title; }
    void setIcon(const QIcon& icon) { m_icon = icon; }

private:
    QPointer<QWidget> m_contentView;
    QString m_title;
    QIcon m_icon;
    QPointer<QAbstractButton> m_tabButton;
};

}  // namespace ombrelay
