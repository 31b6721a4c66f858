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

    MainWebView* content() const;
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
    QPointer<QObject> m_content;  // read through a cast: a view being destroyed is no longer one
};

}  // namespace ombrelay
