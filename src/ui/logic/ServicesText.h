#pragma once

#include "services/ServiceCheck.h"
#include "services/ServiceConfig.h"
#include "system/ServiceSettings.h"

#include <QString>

// Texts about the remote services that the settings pane, the onboarding and the recording detail
// show, computed from plain values.
namespace palaverly::servicesText {

// The answer of a "Проверить" button; empty for a cancelled check. `keyGiven`: a key was sent.
QString checkResult(const serviceCheck::Outcome& outcome, bool keyGiven);

// What does not work yet because a service still has the placeholder address of a build without
// it; empty when both are set up.
QString notSetUpNotice(const ServiceConfig& config);

// Where the API keys are kept, for the line under the pane's fields.
QString keyStorage(ServiceSettings::KeyStorage storage, const QString& keyFile);

} // namespace palaverly::servicesText
