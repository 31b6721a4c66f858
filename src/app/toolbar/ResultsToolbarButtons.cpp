#include "app/toolbar/ResultsToolbarButtons.h"

#include "kit/Settings.h"
#include "search/views/QueryOutlineView.h"
#include "search/views/ResultsPane.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QStyle>

namespace ombrelay {

namespace {

// Three thin rows (compact) or two tall ones (large), drawn as template art.
QIcon viewModeIcon(bool large)
{
    QPixmap image(16, 16);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    const QColor ink(70, 70, 70);
    if (large) {
        for (int y : {2, 9}) {
            painter.fillRect(QRect(1, y, 4, 5), ink);
            painter.fillRect(QRect(7, y + 1, 8, 3), ink);
        }
    } else {
        for (int y : {2, 6, 10})
            painter.fillRect(QRect(1, y, 14, 2), ink);
    }
    return QIcon(image);
}

}  // namespace

DownloadButton::DownloadButton(ResultsPaneLookup lookup, QWidget* parent) : QToolButton(parent), m_lookup(std::move(lookup))
{
    setText(tr("Download"));
    setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setAutoRaise(false);
    connect(this, &QToolButton::clicked, this, &DownloadButton::downloadSelected);
    setFixedSize(sizeHint());
}

void DownloadButton::downloadSelected()
{
    ResultsPane* pane = m_lookup ? m_lookup() : nullptr;
    if (pane && pane->outlineView())
        pane->outlineView()->downloadSelected();
    validate();
}

void DownloadButton::validate()
{
    ResultsPane* pane = m_lookup ? m_lookup() : nullptr;
    setEnabled(pane && pane->outlineView() && pane->outlineView()->canDownloadSelected());
}

RefreshButton::RefreshButton(ResultsPaneLookup lookup, QWidget* parent) : QToolButton(parent), m_lookup(std::move(lookup))
{
    setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    setToolTip(tr("Refresh"));
    setAutoRaise(false);
    setFixedSize(28, 25);
    connect(this, &QToolButton::clicked, this, &RefreshButton::action);
}

void RefreshButton::action()
{
    if (ResultsPane* pane = m_lookup ? m_lookup() : nullptr)
        pane->refreshContents();
}

void RefreshButton::validate()
{
    setEnabled(m_lookup && m_lookup());
}

ViewModeButton::ViewModeButton(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(3, 0, 4, 0);
    layout->setSpacing(0);
    for (int index = 0; index < 2; ++index) {
        auto* segment = new QToolButton(this);
        segment->setCheckable(true);
        segment->setAutoRaise(false);
        segment->setIcon(viewModeIcon(index == 1));
        segment->setToolTip(index == 0 ? tr("Compact rows") : tr("Large rows"));
        segment->setFixedSize(25, 25);
        connect(segment, &QToolButton::clicked, this, [this, index] { action(index); });
        layout->addWidget(segment);
        m_segments[index] = segment;
    }
    setFixedSize(57, 25);
    showStoredMode();
    connect(&Settings::instance(), &Settings::changed, this, [this](const QString& key) {
        if (key == QLatin1String("kQueryViewMode"))
            showStoredMode();
    });
}

int ViewModeButton::selectedSegment() const
{
    return m_segments[1]->isChecked() ? 1 : 0;
}

void ViewModeButton::action(int segment)
{
    Settings::instance().setValue(QStringLiteral("kQueryViewMode"), segment);
    showStoredMode();
}

void ViewModeButton::showStoredMode()
{
    const int mode = Settings::instance().integer(QStringLiteral("kQueryViewMode")) == 1 ? 1 : 0;
    m_segments[0]->setChecked(mode == 0);
    m_segments[1]->setChecked(mode == 1);
}

}  // namespace ombrelay
