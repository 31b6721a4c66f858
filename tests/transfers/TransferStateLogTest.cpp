#include "engine/torrent/TorrentFixtures.h"
#include "engine/torrent/TorrentLine.h"
#include "transfers/TransferStateLog.h"

#include <cstdio>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

// What the log wrote since the last call.
QStringList linesWritten(FILE* file, long& offset)
{
    fflush(file);
    fseek(file, offset, SEEK_SET);
    QByteArray text;
    char buffer[512];
    while (size_t n = fread(buffer, 1, sizeof buffer, file))
        text.append(buffer, qsizetype(n));
    offset = ftell(file);
    return QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace

TEST(TransferStateLog, OneLinePerStateEnteredAndNoneWhileNothingChanges)
{
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    long offset = 0;
    TransferStateLog log(file);
    TorrentLinePtr alpha = TorrentLine::torrentLineForData(metainfo(singleFileInfo("alpha.bin", 50000)));
    TorrentLinePtr beta = TorrentLine::torrentLineForData(metainfo(singleFileInfo("beta.bin", 50000)));
    ASSERT_TRUE(alpha && beta);
    const QString alphaHex = QString::fromLatin1(alpha->infoHash().toHex());

    struct Step
    {
        const char* name;
        int alphaState;
        bool betaListed;
        int betaState;
        QStringList expected;
    };
    const QList<Step> steps{
        {"loaded", TorrentLine::Complete, false, 0, {"Transfer " + alphaHex + " \"alpha.bin\": complete"}},
        {"unchanged", TorrentLine::Complete, false, 0, {}},
        {"another listed",
         TorrentLine::Complete,
         true,
         TorrentLine::Waiting,
         {"Transfer " + QString::fromLatin1(beta->infoHash().toHex()) + " \"beta.bin\": queued"}},
        {"halted", TorrentLine::Halted, true, TorrentLine::Waiting, {"Transfer " + alphaHex + " \"alpha.bin\": halted"}},
        {"removed and back", TorrentLine::Halted, false, 0, {}},
        {"listed again",
         TorrentLine::Halted,
         true,
         TorrentLine::Waiting,
         {"Transfer " + QString::fromLatin1(beta->infoHash().toHex()) + " \"beta.bin\": queued"}},
    };
    for (const Step& step : steps) {
        alpha->restoreDownloadState(step.alphaState);
        TorrentLineList listed{alpha};
        if (step.betaListed) {
            beta->restoreDownloadState(step.betaState);
            listed.append(beta);
        }
        log.update(listed);
        EXPECT_EQ(linesWritten(file, offset), step.expected) << step.name;
    }
    std::fclose(file);
}
