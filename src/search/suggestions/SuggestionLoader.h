#pragma once

#include "kit/http/PZHTTPLoader.h"

#include <QStringList>

namespace ombrelay {

// Asks the suggestion service for completions of what the user typed. The reply is read by
// resultsFromData; a failed load reports nothing and the list stays as it was.
class SuggestionLoader : public PZHTTPLoader
{
    Q_OBJECT
public:
    static constexpr qint64 kReplyCap = 64 << 10;
    static constexpr int kMaxSuggestions = 20;
    static constexpr int kTimeoutMs = 10000;

    explicit SuggestionLoader(const QString& queryString, QObject* parent = nullptr);

    // The suggestion texts of a reply, in the service's order: the first string of each record of the
    // list that follows the start marker, JSON-decoded, control characters as spaces, empty texts and
    // texts holding a blocked word dropped, at most kMaxSuggestions.
    static QStringList resultsFromData(const QByteArray& data);
    static bool isBlocked(const QString& text);

    QStringList suggestedStrings() const { return m_suggestedStrings; }

signals:
    void suggestionsLoaded(ombrelay::SuggestionLoader* loader);

protected:
    bool shouldAutoRedirect() const override { return true; }
    void handleCompletion() override;
    void handleError() override {}

private:
    QStringList m_suggestedStrings;
};

}  // namespace ombrelay
