// The two policies.
#include "dropacct/RemovalPolicy.h"

#include "dropacct/RemovalSettings.h"

RemovalPolicy RemovalPolicy::of(const RemovalSettings& settings) {
    RemovalPolicy policy;
    if (settings.batch()) {
        policy.missingIsGone = true;
        policy.sieveRefusalAwaitsMailbox = settings.imap;
        policy.sharedSessions = true;
        policy.silenceEndsStage = true;
    }
    return policy;
}
