#pragma once
// The unit's description (UnitText.h) as Qt's JSON object, for the files that keep it.
#include "store/UnitText.h"

#include <QJsonObject>

namespace store {

QJsonObject UnitJson(const core::TConversation& conversation, bool settingsShown,
                     TValueOf valueOf = TValueOf::Choice);

} // namespace store
