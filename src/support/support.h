// The support room, at the bottom of the house: what the other rooms share and nothing of
// theirs. One file per topic: the platform and its looked-up functions, paths and wide
// names, the integer grammar, folders and files, and window and process utilities; the
// owners of handles and memory are in raii.h, the program's own text in text.h.
#pragma once

#include "files.h"
#include "integers.h"
#include "paths.h"
#include "platform.h"
#include "text.h"
#include "window_process.h"
