#pragma once

#include "testkit/fakes/ControllerRig.h"

#include <QCoreApplication>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <string>
#include <vector>

// Lets the panel catch up with changes announced by the controller.
inline void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}
