#include "ledservice/SysfsWriter.h"

#include "leddiscovery/SysfsAttribute.h"

#include <atomic>
#include <string>

namespace {

std::atomic<bool> refusing{false};

} // namespace

void SysfsWriter::refuseWrites(bool refuse)
{
    refusing = refuse;
}

bool SysfsWriter::write(const LedDevice& led, unsigned brightness)
{
    if (refusing)
        return false;
    return SysfsAttribute::write(led.attribute("brightness"), std::to_string(brightness) + "\n");
}
