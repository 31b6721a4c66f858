#pragma once

#include "kit/http/HttpCookieStore.h"
#include "kit/http/PZHTTPLoader.h"
#include "support/WaitUntil.h"

namespace ombrelay::test {

// Records the reports of one loader.
struct LoadRecorder
{
    int completions = 0;
    int errors = 0;
    QByteArray data;
    HttpError error;

    explicit LoadRecorder(PZHTTPLoader& loader)
    {
        QObject::connect(&loader, &PZHTTPLoader::completed, [this](PZHTTPLoader*, const QByteArray& d) {
            ++completions;
            data = d;
        });
        QObject::connect(&loader, &PZHTTPLoader::failed, [this](PZHTTPLoader*, const HttpError& e) {
            ++errors;
            error = e;
        });
    }

    int reports() const { return completions + errors; }
    bool wait(int timeoutMs = 5000) { return waitUntil([this] { return reports() > 0; }, timeoutMs); }
};

inline HttpCookieStore::Cookie cookie(const QByteArray& domain, const QByteArray& path, const QByteArray& name,
                                      const QByteArray& value, const QDateTime& expires = {})
{
    HttpCookieStore::Cookie c;
    c.domain = domain;
    c.path = path;
    c.name = name;
    c.value = value;
    c.expires = expires;
    return c;
}

}  // namespace ombrelay::test
