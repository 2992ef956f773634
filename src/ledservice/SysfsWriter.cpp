#include "ledservice/SysfsWriter.h"

#include "leddiscovery/SysfsAttribute.h"

#include <string>

bool SysfsWriter::write(const LedDevice& led, unsigned brightness)
{
    return SysfsAttribute::write(led.attribute("brightness"), std::to_string(brightness) + "\n");
}
