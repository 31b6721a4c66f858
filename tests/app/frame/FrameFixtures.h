#pragma once

#include "app/frame/FeedRegistry.h"
#include "app/frame/KoContentView.h"
#include "app/frame/PaneFactory.h"
#include "app/frame/SelectionController.h"
#include "app/frame/SourceItem.h"
#include "app/frame/SourcePane.h"
#include "app/frame/SourceView.h"
#include "app/toolbar/ToolbarDelegate.h"
#include "kit/AppPaths.h"
#include "kit/Settings.h"
#include "uikit/PZAlert.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace ombrelay::test {

// A pane with settable counts that records its searches.
class FakePane : public SourcePane
{
public:
    explicit FakePane(const QString& title) : m_view(std::make_unique<QLabel>(title)) {}
    QWidget* mainPaneView() const override { return m_view.get(); }
    void performSearch() override { ++searches; }
    int numberOfItems() const override { return items; }
    int numberOfNewItems() const override { return newItems; }

    int searches = 0;
    int items = 0;
    int newItems = 0;

private:
    std::unique_ptr<QLabel> m_view;
};

class FakePaneFactory : public PaneFactory
{
public:
    std::unique_ptr<SourcePane> makePane(SourceItem& item) override
    {
        auto pane = std::make_unique<FakePane>(item.name());
        pane->items = countsByName.value(item.name());
        pane->newItems = newByName.value(item.name());
        made.append(pane.get());
        return pane;
    }
    QHash<QString, int> countsByName;
    QHash<QString, int> newByName;
    QList<FakePane*> made;
};

// Feeds that fetch their address every 50 ms until they are removed.
class FakeFeeds : public FeedRegistry
{
public:
    void startFeed(const QString& address, const QString&) override
    {
        started.append(address);
        auto* timer = new QTimer(&m_owner);
        timer->setInterval(50);
        QObject::connect(timer, &QTimer::timeout, &m_owner, [this, address] { m_network.get(QNetworkRequest(QUrl(address))); });
        timer->start();
        m_timers.insert(address, timer);
    }
    void removeFeedWithAddress(const QString& address) override
    {
        removed.append(address);
        delete m_timers.take(address);
    }
    QStringList started;
    QStringList removed;

private:
    QObject m_owner;
    QNetworkAccessManager m_network;
    QHash<QString, QTimer*> m_timers;
};

class FakeToolbarDelegate : public ToolbarDelegate
{
public:
    FakeToolbarDelegate(QString identifier, QStringList items) : m_identifier(std::move(identifier)), m_items(std::move(items)) {}
    QString toolbarIdentifier() const override { return m_identifier; }
    QStringList toolbarDefaultItemIdentifiers() const override { return m_items; }
    QAction* toolbarItem(const QString& identifier) override
    {
        if (!m_actions.contains(identifier))
            m_actions.insert(identifier, new QAction(identifier, &m_owner));
        return m_actions.value(identifier);
    }
    void validateVisibleItems(QToolBar&) override { ++validations; }
    int validations = 0;

private:
    QString m_identifier;
    QStringList m_items;
    QObject m_owner;
    QHash<QString, QAction*> m_actions;
};

// Settings and a data folder of the test's own.
struct TemporarySettings
{
    TemporarySettings()
    {
        Settings::useFile(folder.filePath(QStringLiteral("Ombrelay.conf")));
        AppPaths::setApplicationSupportPath(folder.filePath(QStringLiteral("data")));
    }
    QTemporaryDir folder;
};

// A window with the source list, the switcher and the selection controller wired as the app does.
struct SidebarFixture : ::testing::Test
{
    SidebarFixture()
    {
        contentView = new KoContentView;
        sourceView = new SourceView(Settings::instance());
        auto* split = new QSplitter;
        split->addWidget(sourceView);
        split->addWidget(contentView);
        window.setCentralWidget(split);
        selection = new SelectionController(*contentView, &window);
        selection->setPaneFactory(&panes);
        selection->setSourceView(sourceView);
        sourceView->setSelectionController(selection);
        sourceView->setFeedRegistry(&feeds);
        window.resize(800, 500);
        PZAlert::setPresenter([this](const PZAlert& alert, PZAlert::Answer answer) {
            alerts.append(alert);
            answer(nextAnswer, false);
        });
    }
    ~SidebarFixture() override
    {
        PZAlert::setPresenter({});
        delete selection;  // the panes own their views: they go before the switcher, as in the app
    }

    SourceItem* query(const QString& terms)
    {
        sourceView->addNewQueryForString(terms);
        return sourceView->findExistingQuery(terms);
    }

    TemporarySettings settings;
    QMainWindow window;
    KoContentView* contentView;
    SourceView* sourceView;
    SelectionController* selection;
    FakePaneFactory panes;
    FakeFeeds feeds;
    QList<PZAlert> alerts;
    int nextAnswer = 0;
};

}  // namespace ombrelay::test
