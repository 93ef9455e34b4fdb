#pragma once

#include "component/a.h"
