#include "transfers/LineItem.h"

#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"

namespace ombrelay {

LineItem::LineItem(TorrentLinePtr torrent) : m_torrent(std::move(torrent)), m_line(m_torrent.get()) {}

LineItem::LineItem(OBLine* line, LineItem* parent) : m_line(line), m_parent(parent) {}

const TorrentLinePtr& LineItem::torrentPtr() const
{
    const LineItem* top = this;
    while (top->m_parent)
        top = top->m_parent;
    return top->m_torrent;
}

TorrentLine* LineItem::torrent() const { return torrentPtr().get(); }
TorrentLine* LineItem::torrentLine() const { return m_parent ? nullptr : m_torrent.get(); }
FileLine* LineItem::fileLine() const { return m_parent ? static_cast<FileLine*>(m_line) : nullptr; }

void LineItem::buildChildren() const
{
    if (m_childrenBuilt)
        return;
    m_childrenBuilt = true;
    auto* self = const_cast<LineItem*>(this);
    for (const auto& child : m_line->children())
        m_children.push_back(self->makeChild(child.get()));
}

int LineItem::outlineChildCount() const
{
    return int(m_line->children().size());
}

PZOutlineObject* LineItem::outlineChild(int index) const
{
    buildChildren();
    return index >= 0 && index < int(m_children.size()) ? m_children[size_t(index)].get() : nullptr;
}

QVariant LineItem::outlineValue(const QString& key) const
{
    if (key == QLatin1String("name"))
        return m_line->path();
    if (key == QLatin1String("length"))
        return QVariant::fromValue(m_line->length());
    if (key == QLatin1String("creationDate"))
        return torrentLine() ? QVariant(torrentLine()->creationDate()) : QVariant();
    return {};
}

QString LineItem::filterText() const
{
    if (TorrentLine* line = torrentLine())
        return line->pathListString();
    return m_line->path();
}

bool LineItem::isComplete() const
{
    return m_line->isComplete();
}

int LineItem::checkboxState() const
{
    return fileLine() ? fileLine()->checkboxState() : -1;
}

bool LineItem::checkboxIsEnabled() const
{
    return fileLine() && fileLine()->checkboxIsEnabled();
}

void LineItem::setCheckboxState(int state)
{
    if (FileLine* file = fileLine())
        file->setCheckboxState(state);
}

}  // namespace ombrelay
