#pragma once

#include <QObject>
#include <QPointer>

namespace ombrelay {

class MainWebView;

// The web view of the tab in front, the target of the toolbar's and menus' web actions. The content is
// weak: a view that goes away leaves none.
class CurrentWebView : public QObject
{
    Q_OBJECT
public:
    static CurrentWebView& instance();

    MainWebView* content() const { return m_content; }
    void setContent(MainWebView* view);

    void goBackForward(int segment);
    void goBack();
    void goForward();
    void stopLoading();
    void reload();
    void makeTextLarger();
    void makeTextSmaller();
    // Loads "kDefaultSite" when it is an http(s) address; else nothing happens.
    void goHome();

signals:
    void contentChanged(ombrelay::MainWebView* view);

private:
    CurrentWebView() = default;
    QPointer<MainWebView> m_content;
};

}  // namespace ombrelay
