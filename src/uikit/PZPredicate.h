#pragma once

#include <QString>
#include <memory>

namespace ombrelay {

class PZOutlineObject;
class PZPredicate;

using PZPredicateRef = std::shared_ptr<const PZPredicate>;

// The filter predicates of the list views. The stateless ones are shared: instance<T>() answers the
// one instance of T for the life of the process, so a view recognises "no filter" by identity with
// the yes predicate.
class PZPredicate
{
public:
    virtual ~PZPredicate() = default;
    virtual bool evaluate(const PZOutlineObject& object) const = 0;

    template<class T>
    static PZPredicateRef instance()
    {
        static const PZPredicateRef shared = std::make_shared<const T>();
        return shared;
    }
    static PZPredicateRef yes();
    // The AND of both, in that order.
    static PZPredicateRef both(PZPredicateRef first, PZPredicateRef second);
    // True for objects whose filter text contains the text, case-insensitively, taken literally.
    static PZPredicateRef containing(const QString& text);
};

class YesPredicate final : public PZPredicate
{
public:
    bool evaluate(const PZOutlineObject&) const override { return true; }
};

class HasAudioPredicate final : public PZPredicate
{
public:
    bool evaluate(const PZOutlineObject& object) const override;
};

class HasVideoPredicate final : public PZPredicate
{
public:
    bool evaluate(const PZOutlineObject& object) const override;
};

class HasDocumentPredicate final : public PZPredicate
{
public:
    bool evaluate(const PZOutlineObject& object) const override;
};

class IsRSSArticlePredicate final : public PZPredicate
{
public:
    bool evaluate(const PZOutlineObject& object) const override;
};

class HasObjectsPredicate final : public PZPredicate
{
public:
    bool evaluate(const PZOutlineObject& object) const override;
};

class IsActivePredicate final : public PZPredicate
{
public:
    bool evaluate(const PZOutlineObject& object) const override;
};

class IsInactivePredicate final : public PZPredicate
{
public:
    bool evaluate(const PZOutlineObject& object) const override;
};

class IsCompletePredicate final : public PZPredicate
{
public:
    bool evaluate(const PZOutlineObject& object) const override;
};

}  // namespace ombrelay
