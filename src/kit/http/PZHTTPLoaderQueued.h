#pragma once

#include "kit/http/PZHTTPLoader.h"

namespace ombrelay {

// A loader under a process-wide limit of running loads: past the limit, loads wait in a list and start
// in random order as running ones end. Sends the store's cookies unless "kDisableCookies" is set.
class PZHTTPLoaderQueued : public PZHTTPLoader
{
    Q_OBJECT
public:
    static constexpr int kMaxLoaders = 80;
    static constexpr int kDefaultTimeoutMs = 10000;

    explicit PZHTTPLoaderQueued(QObject* parent = nullptr);
    ~PZHTTPLoaderQueued() override;

    QByteArray body() const { return m_body; }
    bool isLoading() const override;

    static int currentLoaders();  // counted loads: started and not yet ended
    static int pendingLoaders();  // waiting for a place

protected:
    // Runs the load now when a place is free, else queues it. A load that cannot start (no address, a
    // scheme other than http/https) fails on the next pass without taking a place.
    void load(const QUrl& url, const QByteArray& address, const QByteArray& body) override;
    bool shouldSendCookies() const override;
    void loadEnded() override;

private:
    static void drainQueue();
    void beginLoad();

    QByteArray m_body;
    bool m_counted = false;
    bool m_waiting = false;
};

}  // namespace ombrelay
