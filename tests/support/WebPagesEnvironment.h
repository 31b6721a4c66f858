#pragma once

#include "support/TestFiles.h"

#include <QProcessEnvironment>
#include <unistd.h>

namespace ombrelay::test {

// For a child that shows web pages: Chromium on software drawing with no background networking, its
// sandbox off only for root, and the sanitizers told about its own allocations.
inline void addWebPagesEnvironment(QProcessEnvironment& environment)
{
    environment.insert("QTWEBENGINE_CHROMIUM_FLAGS",
                       "--disable-gpu --disable-background-networking --disable-component-update "
                       "--disable-domain-reliability --disable-sync --no-first-run --metrics-recording-only");
    environment.insert("QT_QUICK_BACKEND", "software");  // no GL driver in the test
    if (::geteuid() == 0)
        environment.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
    const QString suppressions = "suppressions=" + testSourcePath("app/web/lsan.supp");
    const QString lsan = environment.value("LSAN_OPTIONS");
    environment.insert("LSAN_OPTIONS", lsan.isEmpty() ? suppressions : lsan + ":" + suppressions);
    // Chromium's own allocator pairs sized deletes that the sanitizer cannot follow.
    const QString asan = environment.value("ASAN_OPTIONS");
    environment.insert("ASAN_OPTIONS", (asan.isEmpty() ? "" : asan + ":") + "new_delete_type_mismatch=0:alloc_dealloc_mismatch=0");
}

// The environment of a child test that shows web pages: the above, no proxy from outside, and
// `childVariable` set so the inner tests run.
inline QProcessEnvironment webChildEnvironment(const char* childVariable)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(childVariable, "1");
    addWebPagesEnvironment(environment);
    for (const char* variable : {"http_proxy", "https_proxy", "no_proxy", "HTTP_PROXY", "HTTPS_PROXY", "NO_PROXY"})
        environment.remove(variable);
    return environment;
}

}  // namespace ombrelay::test
