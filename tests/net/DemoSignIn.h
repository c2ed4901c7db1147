#pragma once

#include "core/AppInfo.h"
#include "net/LoginRI.h"
#include "net/R7Session.h"
#include "net/UserCredUtil.h"
#include "tests/support/AwaitResult.h"
#include "tests/support/DevService.h"

// Signs the demo account in on a fresh session of the development service, through the real
// sign-in exchange.
inline EmptyResult signInDemoFresh(AppInfo *info)
{
    R7Session::instance()->setLoggedIn(false);
    R7Session::instance()->resetSession();
    UserCredUtil creds(info);
    LoginRI login(&creds, info, R7Session::instance());
    return awaitResult<Nothing>(
            [&](auto cb) { login.doLogin(DevService::demoUser(), DevService::demoPassword(), false, cb); });
}
