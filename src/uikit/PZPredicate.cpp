#include "uikit/PZPredicate.h"

#include "uikit/PZOutlineObject.h"

namespace ombrelay {

namespace {

class AndPredicate final : public PZPredicate
{
public:
    AndPredicate(PZPredicateRef first, PZPredicateRef second) : m_first(std::move(first)), m_second(std::move(second)) {}
    bool evaluate(const PZOutlineObject& object) const override
    {
        return m_first->evaluate(object) && m_second->evaluate(object);
    }

private:
    PZPredicateRef m_first;
    PZPredicateRef m_second;
};

class ContainsTextPredicate final : public PZPredicate
{
public:
    explicit ContainsTextPredicate(QString text) : m_text(std::move(text)) {}
    bool evaluate(const PZOutlineObject& object) const override
    {
        return object.filterText().contains(m_text, Qt::CaseInsensitive);
    }

private:
    QString m_text;
};

}  // namespace

PZPredicateRef PZPredicate::yes()
{
    return instance<YesPredicate>();
}

PZPredicateRef PZPredicate::both(PZPredicateRef first, PZPredicateRef second)
{
    return std::make_shared<const AndPredicate>(std::move(first), std::move(second));
}

PZPredicateRef PZPredicate::containing(const QString& text)
{
    return std::make_shared<const ContainsTextPredicate>(text);
}

bool HasAudioPredicate::evaluate(const PZOutlineObject& object) const
{
    return object.hasAudio();
}

bool HasVideoPredicate::evaluate(const PZOutlineObject& object) const
{
    return object.hasVideo();
}

bool HasDocumentPredicate::evaluate(const PZOutlineObject& object) const
{
    return !object.hasAudio() && !object.hasVideo() && !object.isRSSArticleLine();
}

bool IsRSSArticlePredicate::evaluate(const PZOutlineObject& object) const
{
    return object.isRSSArticleLine();
}

bool HasObjectsPredicate::evaluate(const PZOutlineObject& object) const
{
    return object.hasArrangedObjects();
}

bool IsActivePredicate::evaluate(const PZOutlineObject& object) const
{
    return !object.isComplete() && object.isActive();
}

bool IsInactivePredicate::evaluate(const PZOutlineObject& object) const
{
    return !object.isComplete() && !object.isActive();
}

bool IsCompletePredicate::evaluate(const PZOutlineObject& object) const
{
    return object.isComplete();
}

}  // namespace ombrelay
