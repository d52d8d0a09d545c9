#pragma once

#include "Http.h"

#include <functional>
#include <vector>

// Maps method and path to a handler. A path ending in "/*" matches one more
// segment, handed to the handler as its argument.
class Router {
public:
    using Handler = std::function<Reply(const Call &call, const QString &argument)>;
    using Authoriser = std::function<bool(const Call &call)>;

    explicit Router(Authoriser authoriser) : m_authoriser(std::move(authoriser)) {}

    void open(QByteArrayView method, const QString &path, Handler handler);
    // Answers 401 unless the call carries a bearer token that the service issued.
    void guarded(QByteArrayView method, const QString &path, Handler handler);

    Reply serve(const Call &call) const;

private:
    struct Route {
        QByteArray method;
        QString path;
        bool needsToken;
        Handler handler;
    };

    static std::optional<QString> match(const QString &pattern, const QString &path);

    Authoriser m_authoriser;
    std::vector<Route> m_routes;
};
