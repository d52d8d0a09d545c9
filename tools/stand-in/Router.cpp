#include "Router.h"

using namespace Qt::StringLiterals;

void Router::open(QByteArrayView method, const QString &path, Handler handler)
{
    m_routes.push_back({method.toByteArray(), path, false, std::move(handler)});
}

void Router::guarded(QByteArrayView method, const QString &path, Handler handler)
{
    m_routes.push_back({method.toByteArray(), path, true, std::move(handler)});
}

std::optional<QString> Router::match(const QString &pattern, const QString &path)
{
    if (!pattern.endsWith(u"/*"))
        return pattern == path ? std::optional(QString()) : std::nullopt;
    const QStringView prefix = QStringView(pattern).chopped(1);
    if (!path.startsWith(prefix))
        return std::nullopt;
    const QString argument = path.mid(prefix.size());
    if (argument.isEmpty() || argument.contains(u'/'))
        return std::nullopt;
    return argument;
}

Reply Router::serve(const Call &call) const
{
    bool pathKnown = false;
    for (const Route &route : m_routes) {
        const std::optional<QString> argument = match(route.path, call.path);
        if (!argument)
            continue;
        pathKnown = true;
        if (route.method != call.method)
            continue;
        if (route.needsToken && !m_authoriser(call))
            return Reply::error(401, u"Unauthorized"_s);
        return route.handler(call, *argument);
    }
    return pathKnown ? Reply::error(405, u"Method not allowed"_s) : Reply::error(404, u"Not found"_s);
}
