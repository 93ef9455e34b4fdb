// The one translation unit that defines the identities declared by the generated header.
#include <initguid.h>

#include "server/identity.h"
