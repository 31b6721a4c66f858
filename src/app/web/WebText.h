#pragma once

#include <QString>
#include <QUrl>

namespace ombrelay {

// The texts and addresses of the web pane, free of any page: what a tab or the status bar shows, and
// what a typed location or a stored address becomes.
namespace WebText {

constexpr int kMaxShownLength = 300;

// Only http(s) pages are shown.
bool isWebAddress(const QUrl& address);
// The address a web tab loads: `address` when it is an http(s) one, else about:blank.
QUrl loadableAddress(const QUrl& address);
// Typed text completed: trimmed, "www.%1.com" without a dot, "http://" without an http(s) scheme.
// Invalid when the result is no web address.
QUrl completedLocation(const QString& typed);
// A page's text fit to show: control and bidi characters dropped, trimmed, elided.
QString shownText(const QString& text);
// A MIME type without its parameters, in lower case.
QString mimeEssence(const QString& mimeType);
// A shown document that is an RSS feed: of that type, or plain text whose root element is "rss".
bool isRssDocument(const QString& contentType, const QString& textStart);
// The tab's title (the rules of a web tab, in order); a page title that is only the page's address counts
// as none.
QString title(const QString& firstPageTitle, bool canGoBack, const QString& pageTitle, const QUrl& address);
// The status bar's text for the link under the mouse.
QString statusText(const QString& link, bool browserKey, bool newTabKey, const QString& browserName);

}  // namespace WebText

}  // namespace ombrelay
