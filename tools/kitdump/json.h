// The kit dump's JSON helpers under the names its tests use: the shared ones of vjson.
#pragma once

#include "vjson/json.h"

namespace kitdump {

using vjson::AppendJsonString;
using vjson::AppendUtf8;
using vjson::JsonNumber;
using vjson::JsonString;

}  // namespace kitdump
