// The single run.
#include "modacct/SingleRun.h"

#include <iostream>
#include <sstream>

#include "account/DirectorySession.h"
#include "common/LdifWriter.h"
#include "common/MyException.h"
#include "common/OutputCheck.h"
#include "modacct/ChangeAudit.h"
#include "modacct/ChangeEngine.h"
#include "modacct/ChangeSettings.h"
#include "modacct/DirectoryTrace.h"
#include "modacct/UnnamedGroups.h"

int changeOne(const ChangeSettings& settings, std::ostream& out) {
    AccountChange request = settings.request();
    // Every run that goes to the directory to write leaves an audit line.
    bool audited = false;
    std::ostringstream planned;
    LdifWriter plan(planned);
    ChangeResult result;
    UnnamedGroups unnamed;
    try {
        settings.checkSession();
        request.check();
        audited = !settings.dryRun();
        request.preparePassword();
        DirectorySession session(settings.directoryParams());
        bindTraced(session, settings.debug());
        ChangeEngine engine(session);
        if (settings.dryRun()) {
            engine.setPlan(&plan);
        }
        engine.setTrace(engineTrace(settings.debug()));
        engine.run({request}, [&result](size_t, const ChangeResult& r) { result = r; });
        unnamed.add(request.login, engine.unnamedLeft(0));
        session.unbind();
    } catch (const MyException& e) {
        result = {e.code & 0xff, e.message, "", ""};
    }
    if (!unnamed.warning().empty()) {
        std::cerr << unnamed.warning() << std::endl;
    }
    if (result.status != 0) {
        out << result.message << std::endl;
    } else {
        // The plan goes out only when it is complete.
        plan.publish();
        out << planned.str();
    }
    // Also after a failure, when the made-up password could not be put back.
    if (!result.password.empty()) {
        out << result.password << '\n';
    }
    const bool delivered = (result.status != 0 && result.password.empty()) || flushed(out);
    if (audited) {
        auditChange(settings.adminLogin(), request.login, result);
    }
    if (!delivered) {
        // Only a plan or a made-up password is checked for delivery.
        std::cerr << outputFailure(settings.dryRun()
                                       ? "the plan was not delivered"
                                       : "the password made up for " + request.login +
                                             " was not delivered (the password was changed: "
                                             "give it a new one)")
                  << std::endl;
        return kOutputFailed & 0xff;
    }
    return result.status;
}
