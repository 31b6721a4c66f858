#include "engine/lifecycle/LifecycleFixture.h"
#include "kit/ServiceAddresses.h"

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

// Answers the prompts as a user would, and remembers them.
struct PromptingHost : CountingHost
{
    QList<RightToCopyPrompt> prompts;
    bool confirm = true;
    bool suppress = false;
    QStringList folderRequests;
    QString chosenFolder;
    void confirmRightToCopy(const RightToCopyPrompt& prompt, std::function<void(bool, bool)> done) override
    {
        prompts.append(prompt);
        done(confirm, suppress);
    }
    void chooseDownloadFolder(const QString& message, const QString&, std::function<void(const QString&)> done) override
    {
        folderRequests.append(message);
        done(chosenFolder);
    }
};

class RightToCopyTest : public LifecycleTest
{
protected:
    void SetUp() override
    {
        LifecycleTest::SetUp();
        EngineHost::install(&prompting);
    }
    void TearDown() override
    {
        removeEveryDownload(prompting);
        LifecycleTest::TearDown();
    }
    TorrentLinePtr result(const QString& address, int seed)
    {
        const RealTorrent t = RealTorrent::make(QString("R%1").arg(seed), {{{"f"}, 1000}}, 16384, quint32(seed));
        TorrentLinePtr line = TorrentLine::torrentLineForData(t.metainfo);
        EXPECT_TRUE(line);
        if (line)
            line->setTorrentAddress(address);
        return line;
    }
    // Downloads through the lifecycle and lets the next pass of the loop add what was confirmed.
    void download(const TorrentLineList& lines, bool askForFolder = false)
    {
        session->lifecycle().downloadTorrentLines(lines, askForFolder);
        spinFor(50);
    }
    PromptingHost prompting;
};

}  // namespace

TEST_F(RightToCopyTest, OneUnauthorisedHostIsAskedOnceAndCanBeRemembered)
{
    const TorrentLineList lines{result("http://WWW.Example.COM/a.torrent", 1), result("http://example.com/b", 2),
                                result(QStringLiteral("https://%1/c.torrent").arg(QLatin1String(service::kAuthorizedHostA)), 3)};
    EXPECT_EQ(TorrentAdder::hostsFromTorrentLines(lines), QStringList{"example.com"});
    prompting.suppress = true;
    download(lines);
    ASSERT_EQ(prompting.prompts.size(), 1);
    const EngineHost::RightToCopyPrompt& prompt = prompting.prompts.first();
    EXPECT_EQ(prompt.message, "Do you have the right to copy this content?");
    EXPECT_TRUE(prompt.informativeText.startsWith("These torrents are provided by a third-party website "
                                                  "(example.com) that is not associated"));
    EXPECT_TRUE(prompt.informativeText.contains(".\n\nYou may proceed if and only if"));
    EXPECT_EQ(prompt.suppressionTitle, "Do not ask me again for example.com");
    EXPECT_EQ(prompting.objects().size(), 3);
    EXPECT_EQ(Settings::instance().stringList("kAuthorizedSites"), QStringList{"example.com"});

    download({result("http://www.example.com/d", 4)});
    EXPECT_EQ(prompting.prompts.size(), 1) << "a remembered site is not asked again";
    EXPECT_EQ(prompting.objects().size(), 4);
}

TEST_F(RightToCopyTest, PromptTextsAndCancelling)
{
    const struct
    {
        const char* name;
        QStringList addresses;
        QString opening;
        bool suppressionBox;
    } cases[] = {
        {"one torrent", {"http://one.example/x.torrent"},
         "This torrent is provided by a third-party website (one.example) that", true},
        {"two hosts", {"http://a.example/x", "http://b.example/y", "http://www.A.example/z"},
         "These torrents are provided by third-party websites (a.example, b.example) that", false},
    };
    int seed = 10;
    for (const auto& c : cases) {
        prompting.prompts.clear();
        prompting.confirm = false;
        prompting.suppress = true;
        TorrentLineList lines;
        for (const QString& address : c.addresses)
            lines.append(result(address, seed++));
        download(lines);
        ASSERT_EQ(prompting.prompts.size(), 1) << c.name;
        EXPECT_TRUE(prompting.prompts.first().informativeText.startsWith(c.opening)) << c.name;
        EXPECT_EQ(!prompting.prompts.first().suppressionTitle.isEmpty(), c.suppressionBox) << c.name;
        EXPECT_TRUE(prompting.objects().isEmpty()) << c.name << ": cancelling adds nothing";
        EXPECT_TRUE(Settings::instance().stringList("kAuthorizedSites").isEmpty()) << c.name;
    }
}

TEST_F(RightToCopyTest, FolderRequestGoesWithItsOwnDownloadOnly)
{
    const QString chosen = dir.filePath("chosen");
    prompting.chosenFolder = chosen;
    const TorrentLinePtr first = result(QString(), 30);
    download({first}, true);
    ASSERT_EQ(prompting.folderRequests, QStringList{"Select a download folder for R30"});
    EXPECT_EQ(first->downloadPath(), chosen);
    EXPECT_FALSE(first->shouldRelocateOnCompletion());
    EXPECT_TRUE(prompting.prompts.isEmpty()) << "a torrent from no site needs no confirmation";

    const TorrentLinePtr second = result(QString(), 31);
    download({second});
    EXPECT_EQ(prompting.folderRequests.size(), 1);
    EXPECT_EQ(second->downloadPath(), downloads);
    EXPECT_EQ(prompting.objects().size(), 2);
}
