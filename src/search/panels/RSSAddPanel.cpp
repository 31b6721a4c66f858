#include "search/panels/RSSAddPanel.h"

#include "kit/NotificationCenter.h"
#include "kit/PerformLater.h"
#include "search/SourceListActions.h"
#include "search/feeds/Feed.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace ombrelay {
namespace {

const QString kLoadKey = QStringLiteral("attemptToLoadFeed");

// A feed title as one short line.
QString oneLineName(const QString& name)
{
    return name.simplified().left(RSSAddPanel::kMaxNameLength);
}

}  // namespace

RSSAddPanel::RSSAddPanel(QWidget* mainWindow, SourceListActions* sourceList)
    : QDialog(mainWindow), m_sourceList(sourceList), m_url(new QLineEdit(this)), m_name(new QLineEdit(this)),
      m_subscribeButton(new QPushButton(tr("Subscribe"), this)), m_invalidBadge(new QLabel(this))
{
    setWindowTitle(tr("Add Subscription"));
    setWindowModality(Qt::WindowModal);
    m_url->setPlaceholderText(tr("http://"));
    m_invalidBadge->setStyleSheet(QStringLiteral("color: #b22222;"));
    m_invalidBadge->setTextFormat(Qt::PlainText);

    auto* form = new QFormLayout;
    form->addRow(tr("Address:"), m_url);
    form->addRow(tr("Name:"), m_name);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    buttons->addButton(m_subscribeButton, QDialogButtonBox::AcceptRole);
    cancel->setAutoDefault(false);
    m_subscribeButton->setAutoDefault(false);
    m_subscribeButton->setDefault(true);  // Return acts only while it is enabled
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_invalidBadge);
    layout->addWidget(buttons);
    setMinimumWidth(420);

    connect(m_url, &QLineEdit::textEdited, this, &RSSAddPanel::addressEdited);
    connect(m_subscribeButton, &QPushButton::clicked, this, &RSSAddPanel::add);
    connect(cancel, &QPushButton::clicked, this, &RSSAddPanel::reject);
    resetState();
}

RSSAddPanel::~RSSAddPanel()
{
    PerformLater::cancel(this);
    dropTrial();
}

void RSSAddPanel::openWithInitialAddress(const QString& address)
{
    resetState();
    m_url->setText(address);
    attemptToLoadFeed();
    open();
}

void RSSAddPanel::resetState()
{
    PerformLater::cancel(this, kLoadKey);
    dropTrial();
    m_url->setFocus();
    m_url->clear();
    m_name->clear();
    m_invalidBadge->hide();
    m_subscribeButton->setEnabled(false);
}

bool RSSAddPanel::hasValidPrefix(const QString& text)
{
    return text.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
        || text.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

QUrl RSSAddPanel::urlValueFromString(const QString& text)
{
    QString address = text.trimmed();
    address.replace(QLatin1String("feed://"), QLatin1String("http://"), Qt::CaseInsensitive);
    if (!hasValidPrefix(address))
        address.prepend(QLatin1String("http://"));
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return {};
    return url;
}

void RSSAddPanel::addressEdited()
{
    // The state follows every keystroke; the load waits for a pause in the typing.
    PerformLater::cancel(this, kLoadKey);
    dropTrial();
    m_invalidBadge->hide();
    m_subscribeButton->setEnabled(false);
    if (m_url->text().trimmed().size() < 2) {
        m_name->clear();
        return;
    }
    PerformLater::scheduleOnce(this, [this] { attemptToLoadFeed(); }, kTypingPauseMs, kLoadKey);
}

void RSSAddPanel::attemptToLoadFeed()
{
    PerformLater::cancel(this, kLoadKey);
    m_subscribeButton->setEnabled(false);
    if (m_url->text().trimmed().size() < 2) {
        dropTrial();
        m_name->clear();
        m_invalidBadge->hide();
        return;
    }
    attemptToLoadURL(urlValueFromString(m_url->text()));
}

void RSSAddPanel::attemptToLoadURL(const QUrl& address)
{
    dropTrial();
    if (!address.isValid()) {
        showInvalid(tr("This is not a web address."));
        return;
    }
    m_tempFeed = Feed::trialFeed(address.toString(QUrl::FullyEncoded));
    listenForNotification(this, QStringLiteral("FeedDataLoadedNotification"), [this](const Notification&) { feedLoaded(); },
                          m_tempFeed.get());
    listenForNotification(this, QStringLiteral("FeedLoadErrorNotification"), [this](const Notification&) { feedError(); },
                          m_tempFeed.get());
    if (m_trialTimeoutMs > 0)
        m_tempFeed->setTrialTimeoutMs(m_trialTimeoutMs);
    m_tempFeed->loadFeed();
}

void RSSAddPanel::feedLoaded()
{
    if (!m_tempFeed)
        return;
    // A trial feed is new for each address, so its format comes from this load alone.
    if (m_tempFeed->isValidFeed() && m_tempFeed->lastStatusCode() / 100 == 2) {
        m_name->setText(oneLineName(m_tempFeed->name()));
        m_invalidBadge->hide();
        m_subscribeButton->setEnabled(true);
    } else {
        showInvalid(tr("There is no feed at this address."));
    }
}

void RSSAddPanel::feedError()
{
    if (!m_tempFeed)
        return;
    const int status = m_tempFeed->lastStatusCode();
    if (status != 0)
        showInvalid(tr("The server answered with status %1.").arg(status));
    else if (m_tempFeed->lastErrorKind() == HttpError::Kind::BodyTooLarge)
        showInvalid(tr("There is no feed at this address."));
    else
        showInvalid(tr("The server does not answer."));
}

void RSSAddPanel::showInvalid(const QString& reason)
{
    m_invalidBadge->setText(reason);
    m_invalidBadge->show();
    m_subscribeButton->setEnabled(false);
}

void RSSAddPanel::dropTrial()
{
    stopListening(this);
    m_tempFeed.reset();
}

void RSSAddPanel::add()
{
    if (!m_subscribeButton->isEnabled())
        return;
    const QUrl address = urlValueFromString(m_url->text());
    if (!address.isValid())
        return;
    const QString name = m_name->text().trimmed().isEmpty() ? address.host() : m_name->text().trimmed();
    endSheet();
    // The source list starts the feed with the item it adds; an address it holds already starts nothing.
    if (m_sourceList)
        m_sourceList->addNewSubscriptionForAddress(address.toString(QUrl::FullyEncoded), name);
}

void RSSAddPanel::reject()
{
    endSheet();
}

void RSSAddPanel::endSheet()
{
    PerformLater::cancel(this, kLoadKey);
    dropTrial();
    QDialog::done(QDialog::Rejected);
}

}  // namespace ombrelay
