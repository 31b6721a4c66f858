#pragma once

#include <QToolButton>
#include <QWidget>
#include <functional>

namespace ombrelay {

class ResultsPane;

// What the results buttons act on: the list of the selected pane (results or feed entries), if any.
using ResultsPaneLookup = std::function<ResultsPane*()>;

// "Download": downloads the selected results of the shown list; enabled while one of them can start.
class DownloadButton : public QToolButton
{
    Q_OBJECT
public:
    explicit DownloadButton(ResultsPaneLookup lookup, QWidget* parent = nullptr);
    void downloadSelected();
    void validate();

private:
    ResultsPaneLookup m_lookup;
};

// "Refresh": searches again, or reloads the feed, of the shown list.
class RefreshButton : public QToolButton
{
    Q_OBJECT
public:
    explicit RefreshButton(ResultsPaneLookup lookup, QWidget* parent = nullptr);
    void action();
    void validate();

private:
    ResultsPaneLookup m_lookup;
};

// Two segments for the compact (0) and large (1) result rows, stored as "kQueryViewMode"; follows the
// setting when it changes elsewhere.
class ViewModeButton : public QWidget
{
    Q_OBJECT
public:
    explicit ViewModeButton(QWidget* parent = nullptr);
    QToolButton* segment(int index) const { return m_segments[index]; }
    int selectedSegment() const;
    void action(int segment);

private:
    void showStoredMode();

    QToolButton* m_segments[2];
};

}  // namespace ombrelay
