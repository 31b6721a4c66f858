#include "FakeOutline.h"

#include "uikit/PZPredicate.h"

#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

// A view whose filter button predicate and search text are chosen by the test.
class ComposingView : public PZOutlineView
{
public:
    PZPredicateRef predicateForTypeIndex(int) const override { return type; }
    PZPredicateRef filterPredicate() const override { return text; }
    PZPredicateRef type = PZPredicate::yes();
    PZPredicateRef text = PZPredicate::yes();
};

}  // namespace

TEST(PredicateTest, CompoundFilterKeepsTheSinglePredicateItself)
{
    const PZPredicateRef yes = PZPredicate::yes();
    const PZPredicateRef active = PZPredicate::instance<IsActivePredicate>();
    const PZPredicateRef alpha = PZPredicate::containing(QStringLiteral("alpha"));
    struct Case
    {
        PZPredicateRef text, type, expected;
    };
    const Case cases[] = {{yes, yes, yes}, {yes, active, active}, {alpha, yes, alpha}};
    for (const Case& c : cases) {
        ComposingView view;
        view.text = c.text;
        view.type = c.type;
        EXPECT_EQ(view.compoundFilterPredicateForTypeIndex(0), c.expected);
    }

    ComposingView both;
    both.text = alpha;
    both.type = active;
    const PZPredicateRef compound = both.compoundFilterPredicateForTypeIndex(0);
    EXPECT_NE(compound, alpha);
    EXPECT_NE(compound, active);
    FakeLine activeAlpha(QStringLiteral("Alpha Centauri"), 0, true);
    FakeLine idleAlpha(QStringLiteral("alpha"), 0, false);
    FakeLine activeBeta(QStringLiteral("beta"), 0, true);
    EXPECT_TRUE(compound->evaluate(activeAlpha));
    EXPECT_FALSE(compound->evaluate(idleAlpha));
    EXPECT_FALSE(compound->evaluate(activeBeta));
}

TEST(PredicateTest, FamilyAnswersFromTheObject)
{
    FakeLine audio(QStringLiteral("a"));
    audio.audio = true;
    FakeLine video(QStringLiteral("v"));
    video.video = true;
    FakeLine document(QStringLiteral("d"));
    FakeLine article(QStringLiteral("r"));
    article.rss = true;
    FakeLine running(QStringLiteral("run"), 0, true, false);
    FakeLine idle(QStringLiteral("idle"), 0, false, false);
    FakeLine seeding(QStringLiteral("done"), 0, true, true);

    struct Case
    {
        PZPredicateRef predicate;
        const FakeLine* object;
        bool expected;
    };
    const Case cases[] = {
        {PZPredicate::instance<HasAudioPredicate>(), &audio, true},
        {PZPredicate::instance<HasAudioPredicate>(), &video, false},
        {PZPredicate::instance<HasVideoPredicate>(), &video, true},
        {PZPredicate::instance<HasDocumentPredicate>(), &document, true},
        {PZPredicate::instance<HasDocumentPredicate>(), &audio, false},
        {PZPredicate::instance<HasDocumentPredicate>(), &article, false},  // a feed entry is no document
        {PZPredicate::instance<IsRSSArticlePredicate>(), &article, true},
        {PZPredicate::instance<IsActivePredicate>(), &running, true},
        {PZPredicate::instance<IsActivePredicate>(), &seeding, false},  // complete wins over active
        {PZPredicate::instance<IsInactivePredicate>(), &idle, true},
        {PZPredicate::instance<IsInactivePredicate>(), &seeding, false},
        {PZPredicate::instance<IsCompletePredicate>(), &seeding, true},
        {PZPredicate::instance<HasObjectsPredicate>(), &document, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.predicate->evaluate(*c.object), c.expected) << c.object->name.toStdString();
}

TEST(PredicateTest, FilterTextIsAPlainCaseInsensitiveSubstring)
{
    struct Case
    {
        const char* text;
        const char* name;
        bool expected;
    };
    const Case cases[] = {
        {"ALPHA", "the alpha file", true},
        {"a\"b", "x a\"b y", true},
        {"\\", "back\\slash", true},
        {"name CONTAINS 'x'", "name", false},
        {"*", "star", false},
        {"*", "a*b", true},
        {"' OR 1=1", "anything", false},
    };
    for (const Case& c : cases) {
        FakeLine line(QString::fromUtf8(c.name));
        EXPECT_EQ(PZPredicate::containing(QString::fromUtf8(c.text))->evaluate(line), c.expected) << c.text;
    }
}
