#pragma once
#include <QString>

#include "app/InstanceChannel.h"

namespace larkspan {

// The texts a start prints, in the user's language.
QString UsageText(const QString& program);
QString UnknownSwitchText(const QString& program, const QString& argument);
// Why a start ended without handing its request over; empty for results that need no word.
QString HandOffFailureText(InstanceChannel::StartResult result, int timeoutMs);

}  // namespace larkspan
