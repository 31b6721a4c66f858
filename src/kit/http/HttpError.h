#pragma once

#include <QMetaType>
#include <QString>

namespace ombrelay {

// Why a load ended without a response. HTTP status codes are not errors: a 404 completes.
struct HttpError
{
    enum class Kind {
        None,
        NoAddress,          // empty or unreadable address
        UnsupportedScheme,  // anything but http and https
        Network,            // refused, unreachable, reset, unreadable response
        TimedOut,
        BodyTooLarge,
        TooManyRedirects,
        UnreadableReply,    // the response arrived but its body makes no sense to the caller
    };

    Kind kind = Kind::None;
    QString message;

    bool isError() const { return kind != Kind::None; }
};

}  // namespace ombrelay

Q_DECLARE_METATYPE(ombrelay::HttpError)
