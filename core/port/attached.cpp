#include "port/attached.hpp"

#include "frame/raise.hpp"
#include "port/platform.hpp"

namespace mexlink {

void readPortRecord(PortRecord *record)
{
    char text[recordTextCapacity];
    if (!loadRecordText(text) || !parsePortRecord(text, currentProcessId(), record))
        emptyRecord(record);
}

int writePortRecord(const PortRecord &record)
{
    char text[recordTextCapacity];
    return formatPortRecord(record, currentProcessId(), text, sizeof text) && storeRecordText(text);
}

Port recordedPort(const std::uint32_t *handle, const Message &notAttached, DeviceCheck device, PortRecord *record)
{
    readPortRecord(record);
    const Port *entry = findAttached(*record, *handle);
    if (entry == nullptr || (device == DeviceCheck::asked && !portNamesItsDevice(*entry)))
        raiseError(notAttached);
    return *entry;
}

} // namespace mexlink
