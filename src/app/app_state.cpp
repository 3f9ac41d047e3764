#include "app_state.h"

TAppState AppState;
