// placeholder, being written
#include "asf/AsfCodec.h"
