#pragma once

#include "uikit/FilterBackground.h"
#include "uikit/FilterSearchField.h"
#include "uikit/PZCheckboxCell.h"
#include "uikit/PZIconCache.h"
#include "uikit/PZNode.h"
#include "uikit/PZOutlineObject.h"
#include "uikit/PZOutlineView.h"
#include "uikit/PZRoundTabButton.h"
#include "uikit/PZRoundTabView.h"
#include "uikit/PZText.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>
#include <QWidget>
#include <memory>
#include <vector>

namespace ombrelay::test {

// A row object for the outline tests: a torrent-like line with a name, a size, a state, media kinds
// and a file tree whose checkboxes aggregate like the line tree's.
class FakeLine : public PZOutlineObject
{
public:
    explicit FakeLine(QString name, double size = 0, bool active = false, bool complete = false)
        : name(std::move(name)), size(size), active(active), complete(complete)
    {
    }

    FakeLine* addChild(const QString& childName, double childSize = 0)
    {
        children.push_back(std::make_unique<FakeLine>(childName, childSize));
        children.back()->parent = this;
        children.back()->checkbox = 0;
        return children.back().get();
    }

    int outlineChildCount() const override { return int(children.size()); }
    PZOutlineObject* outlineChild(int index) const override
    {
        return index >= 0 && index < int(children.size()) ? children[index].get() : nullptr;
    }
    QVariant outlineValue(const QString& key) const override
    {
        if (key == QLatin1String("name"))
            return name;
        if (key == QLatin1String("size"))
            return size;
        return {};
    }
    QString filterText() const override
    {
        QString text = name;
        for (const auto& child : children)
            text += QLatin1Char('\n') + child->filterText();
        return text;
    }
    bool hasAudio() const override { return audio; }
    bool hasVideo() const override { return video; }
    bool isRSSArticleLine() const override { return rss; }
    bool isActive() const override { return active; }
    bool isComplete() const override { return complete; }

    // A folder reports the aggregate of its children: all wanted 0, all skipped 1, else 2.
    int checkboxState() const override
    {
        if (children.empty() || checkbox == -1)
            return checkbox;
        int wanted = 0, skipped = 0;
        for (const auto& child : children) {
            wanted += child->checkboxState() == 0 ? 1 : 0;
            skipped += child->checkboxState() == 1 ? 1 : 0;
        }
        return wanted == int(children.size()) ? 0 : skipped == int(children.size()) ? 1 : 2;
    }
    bool checkboxIsEnabled() const override { return enabled; }
    void setCheckboxState(int state) override
    {
        ++checkboxChanges;
        if (children.empty())
            checkbox = state;
        for (auto& child : children)
            child->setCheckboxState(state);
    }

    QString name;
    double size = 0;
    bool active = false;
    bool complete = false;
    bool audio = false;
    bool video = false;
    bool rss = false;
    int checkbox = -1;
    bool enabled = true;
    int checkboxChanges = 0;
    bool withIcon = false;
    FakeLine* parent = nullptr;
    std::vector<std::unique_ptr<FakeLine>> children;
};

// A name cell: checkbox, the file type's icon, then the object's name as primary text.
class FakeNameCell : public PZCheckboxCell
{
public:
    const PZTextAttributes* primaryAttributesAlternate() const override { return &PZText::textAttributesWhite11(); }

protected:
    void drawInterior(QPainter& painter, const QRect& frame) override
    {
        if (auto* line = dynamic_cast<FakeLine*>(cellObject())) {
            setPrimary(line->name);
            PZIconCache& icons = PZIconCache::instance16();
            const QPixmap icon = line->children.empty() ? icons.iconForExtension(QFileInfo(line->name).suffix())
                                                        : icons.folderIcon();
            setImage(line->withIcon ? icon : QPixmap());
        }
        PZNode::drawInterior(painter, frame);
    }
};

// A size cell with one small control at its right end that records the objects it acted on.
class FakeButtonCell : public PZNode
{
public:
    const PZTextAttributes* primaryAttributesAlternate() const override { return &PZText::textAttributesWhite11(); }
    QList<QRect> controlRects(const QRect& frame, PZOutlineObject* object) const override
    {
        if (vanishes && acted.contains(object))
            return {};
        return {QRect(frame.right() - 13, frame.y() + 2, 12, 12)};
    }
    void performAction(PZOutlineObject* object, QWidget*) override { acted.append(object); }

    QList<PZOutlineObject*> acted;
    bool vanishes = false;  // a row's button is gone once it acted

protected:
    void drawInterior(QPainter& painter, const QRect& frame) override
    {
        if (auto* line = dynamic_cast<FakeLine*>(cellObject()))
            setPrimary(QString::number(line->size, 'f', 0) + QStringLiteral(" MB"));
        PZNode::drawInterior(painter, frame);
        const QRect control = controlRects(frame, cellObject()).first();
        painter.fillRect(control, activeTrackingRect() == 0 ? QColor(90, 90, 90) : QColor(170, 170, 170));
    }
};

// A transfers-like list: All / Active / Inactive / Complete, a name and a size column.
class FakeOutlineView : public PZOutlineView
{
public:
    enum Column { NameColumn, SizeColumn };

    FakeOutlineView()
    {
        addColumn(QStringLiteral("FakeNameCell"), QStringLiteral("Name"), 220, std::make_unique<FakeNameCell>(),
                  PZSortDescriptor{QStringLiteral("name"), true, QStringLiteral("caseInsensitiveCompare:")});
        auto button = std::make_unique<FakeButtonCell>();
        buttonCell = button.get();
        addColumn(QStringLiteral("FakeButtonCell"), QStringLiteral("Size"), 120, std::move(button),
                  PZSortDescriptor{QStringLiteral("size"), false, QStringLiteral("compare:")});
    }

    void initTabView() override
    {
        roundTabView()->addRoundButtonWithTitle(QStringLiteral("All"));
        roundTabView()->addRoundButtonWithTitle(QStringLiteral("Active"));
        roundTabView()->addRoundButtonWithTitle(QStringLiteral("Inactive"));
        roundTabView()->addRoundButtonWithTitle(QStringLiteral("Complete"));
        roundTabView()->buttonAt(0)->setHideCount(true);
    }
    PZPredicateRef predicateForTypeIndex(int index) const override
    {
        switch (index) {
        case 1: return PZPredicate::instance<IsActivePredicate>();
        case 2: return PZPredicate::instance<IsInactivePredicate>();
        case 3: return PZPredicate::instance<IsCompletePredicate>();
        default: return PZPredicate::yes();
        }
    }
    int heightOfRow(const PZOutlineObject& object, int level) const override { return level == 0 ? 20 : 17; }

    FakeButtonCell* buttonCell = nullptr;
};

// A window holding the filter bar (buttons and search field on the gradient bar) over a fake list,
// with owned fake objects.
struct FakeOutlineWindow
{
    FakeOutlineWindow()
    {
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        bar = new FilterBackground;
        bar->setFixedHeight(24);
        auto* barLayout = new QHBoxLayout(bar);
        barLayout->setContentsMargins(0, 0, 6, 0);
        tabs = new PZRoundTabView;
        field = new FilterSearchField;
        field->setFixedWidth(160);
        barLayout->addWidget(tabs, 1);
        barLayout->addWidget(field);
        view = new FakeOutlineView;
        layout->addWidget(bar);
        layout->addWidget(view);
        view->setUp(tabs, field);
        window.resize(560, 300);
    }

    FakeLine* add(const QString& name, double size = 0, bool active = false, bool complete = false)
    {
        lines.push_back(std::make_unique<FakeLine>(name, size, active, complete));
        view->addObject(lines.back().get());
        return lines.back().get();
    }

    QStringList shownNames() const
    {
        QStringList names;
        QAbstractItemModel* model = view->model();
        for (int row = 0; row < model->rowCount(); ++row)
            names.append(static_cast<FakeLine*>(view->objectAt(model->index(row, 0)))->name);
        return names;
    }

    std::vector<std::unique_ptr<FakeLine>> lines;  // outlives the window
    QWidget window;
    FilterBackground* bar;
    PZRoundTabView* tabs;
    FilterSearchField* field;
    FakeOutlineView* view;
};

}  // namespace ombrelay::test
