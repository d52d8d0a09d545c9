#include "notifications/RequestNotification.h"

#include "DisplayText.h"
#include "Texts.h"
#include "api/Models.h"

RequestNotification requestNotification(const SongRequest &request)
{
    return RequestNotification{
        .requestId = request.id,
        .title = Texts::newSongRequest(),
        // One line, in the order typed: no line breaks, controls or direction overrides.
        .body = DisplayText::line(request.songTitle + QLatin1Char(' ') + request.artistName),
        .actions = {{NotificationChoice::open, Texts::openApp()},
                    {NotificationChoice::approve, Texts::approve()},
                    {NotificationChoice::reject, Texts::reject()}},
    };
}
