#include "cli.h"
#include <gtest/gtest.h>
