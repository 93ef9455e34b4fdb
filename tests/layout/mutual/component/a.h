// A unit whose source includes b, while b includes its header.
#pragma once
