#include "views/tracefollow.h"

void TraceFollow::setFollowing(bool on)
{
    if (on == following)
        return;
    following = on;
    emit followingChanged(on);
}
