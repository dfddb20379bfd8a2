#include "RegistryTypes.h"

namespace nixora
{

RegValue makeStringValue(const QString& text, uint32_t type)
{
    RegValue value;
    value.type = type;
    value.data.reserve((text.size() + 1) * 2);
    for (const QChar c : text) {
        value.data.append(char(c.unicode() & 0xff));
        value.data.append(char(c.unicode() >> 8));
    }
    value.data.append(2, '\0');
    return value;
}

RegValue makeDwordValue(uint32_t number)
{
    RegValue value;
    value.type = kRegDword;
    for (int i = 0; i < 4; ++i)
        value.data.append(char((number >> (8 * i)) & 0xff));
    return value;
}

} // namespace nixora
