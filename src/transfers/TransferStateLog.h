#pragma once

#include "engine/core/EngineHost.h"

#include <QHash>
#include <QString>
#include <cstdio>

namespace ombrelay {

// One line on standard error for each state a listed torrent is found in that differs from the last
// look ("Transfer <info hash> "<name>": complete"), also for torrents that appear already in a state
// (loaded at start). The application looks once a second; the journal and black-box tests follow
// transfers by it.
class TransferStateLog
{
public:
    explicit TransferStateLog(FILE* out = stderr) : m_out(out) {}

    // Compares the list with what was seen last; torrents no longer listed are forgotten.
    void update(const TorrentLineList& torrents);
    static const char* stateName(int state);
    static QString lineFor(const TorrentLine& torrent);

private:
    void forgetUnlisted(const TorrentLineList& torrents);

    FILE* m_out;
    QHash<QByteArray, int> m_states;  // by info hash
};

}  // namespace ombrelay
