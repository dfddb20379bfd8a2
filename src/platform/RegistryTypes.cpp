#include "RegistryTypes.h"

namespace nixora
{

RegValue makeStringValue(const QString& text, uint32_t type)
{
    RegValue value;
    value.type = type;
    value.data.resize((text.size() + 1) * 2);
    char* out = value.data.data();
    for (const QChar c : text) {
        *out++ = char(c.unicode() & 0xff);
        *out++ = char(c.unicode() >> 8);
    }
    out[0] = out[1] = '\0';
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
