#include "state.h"

TAppState AppState;
