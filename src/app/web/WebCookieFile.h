#pragma once

#include "kit/http/HttpCookieStore.h"

#include <QList>
#include <QString>

namespace ombrelay {

// The web profile's stored cookies, read at start so that the loaders send them before any page is
// built: the profile itself reports only the cookies that change while it runs. The file is the
// profile's own database ("Cookies" in its folder), read as it is; encrypted values, cookies kept for
// one site's frames, rows that do not make a clean cookie, expired ones and any beyond kMaxCookies are
// left out.
class WebCookieFile
{
public:
    static constexpr int kMaxCookies = 20000;
    static constexpr int kMaxFieldBytes = 4096;

    static QList<HttpCookieStore::Cookie> read(const QString& path);
    // Reads the profile's file on the thread pool and puts its cookies in the loaders' store, unless the
    // user turned cookies off; loaders that send cookies start once they are in.
    static void loadIntoLoaders();
};

}  // namespace ombrelay
