<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>DeviceSummary</name>
    <message numerus="yes">
        <source>%n devices: %1 connected%2, %3 disconnected</source>
        <extracomment>%2: how many of the connected devices are slow, &quot; (1 slow)&quot;, or nothing</extracomment>
        <translation>
            <numerusform>%n device: %1 connected%2, %3 disconnected</numerusform>
            <numerusform>%n devices: %1 connected%2, %3 disconnected</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Phrases</name>
    <message numerus="yes">
        <source>%1, %n devices behind it unreachable</source>
        <translation>
            <numerusform>%1, %n device behind it unreachable</numerusform>
            <numerusform>%1, %n devices behind it unreachable</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1: %2, %n devices behind it slow</source>
        <translation>
            <numerusform>%1: %2, %n device behind it slow</numerusform>
            <numerusform>%1: %2, %n devices behind it slow</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>The alert command &quot;%1&quot; said %n lines before these.</source>
        <translation>
            <numerusform>The alert command &quot;%1&quot; said %n line before these.</numerusform>
            <numerusform>The alert command &quot;%1&quot; said %n lines before these.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n alerts waiting for %1; they go out when Tarnwick starts again.</source>
        <translation>
            <numerusform>%n alert waiting for %1; they go out when Tarnwick starts again.</numerusform>
            <numerusform>%n alerts waiting for %1; they go out when Tarnwick starts again.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n alerts for %1 could not be kept in &quot;%2&quot; (%3) and are lost as Tarnwick ends.</source>
        <translation>
            <numerusform>%n alert for %1 could not be kept in &quot;%2&quot; (%3) and are lost as Tarnwick ends.</numerusform>
            <numerusform>%n alerts for %1 could not be kept in &quot;%2&quot; (%3) and are lost as Tarnwick ends.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n alerts waited to be sent through the %1, which is no longer set up; dropped.</source>
        <translation>
            <numerusform>%n alert waited to be sent through the %1, which is no longer set up; dropped.</numerusform>
            <numerusform>%n alerts waited to be sent through the %1, which is no longer set up; dropped.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Watching %1: %n devices seen</source>
        <translation>
            <numerusform>Watching %1: %n device seen</numerusform>
            <numerusform>Watching %1: %n devices seen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Neighbours found: %1 on %n links</source>
        <translation>
            <numerusform>Neighbours found: %1 on %n link</numerusform>
            <numerusform>Neighbours found: %1 on %n links</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Tarnwick::DeviceDetailsDialog</name>
    <message numerus="yes">
        <source>%n results written to &quot;%1&quot;</source>
        <extracomment>%n: the number of results, %1: the file&apos;s name</extracomment>
        <translation>
            <numerusform>%n result written to &quot;%1&quot;</numerusform>
            <numerusform>%n results written to &quot;%1&quot;</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Tarnwick::DiscoverDevicesDialog</name>
    <message numerus="yes">
        <source>Added %1; %n skipped, already in the list.</source>
        <extracomment>%1: the hosts added; %n: the hosts skipped</extracomment>
        <translation>
            <numerusform>Added %1; %n skipped, already in the list.</numerusform>
            <numerusform>Added %1; %n skipped, already in the list.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Added %n to the list.</source>
        <extracomment>%n: the hosts added</extracomment>
        <translation>
            <numerusform>Added %n to the list.</numerusform>
            <numerusform>Added %n to the list.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Tarnwick::EditDeviceEntryDialog</name>
    <message numerus="yes">
        <source>%n devices</source>
        <extracomment>In place of the address, when several devices are edited at once</extracomment>
        <translation>
            <numerusform>%n device</numerusform>
            <numerusform>%n devices</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Tarnwick::MainSystemTrayIcon</name>
    <message numerus="yes">
        <source>%1 and %n more</source>
        <extracomment>%1: the devices named, %n: how many more there are</extracomment>
        <translation>
            <numerusform>%1 and %n more</numerusform>
            <numerusform>%1 and %n more</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Tarnwick::MaintenanceDialog</name>
    <message numerus="yes">
        <source>Windows of %n devices: alerts wait for the window&apos;s end, and are told then if they still hold.</source>
        <extracomment>%n: the number of devices chosen, always more than one</extracomment>
        <translation>
            <numerusform>Windows of %n device: alerts wait for the window&apos;s end, and are told then if they still hold.</numerusform>
            <numerusform>Windows of %n devices: alerts wait for the window&apos;s end, and are told then if they still hold.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Tarnwick::PathView</name>
    <message numerus="yes">
        <source>Traced every second; the figures of the last %n rounds.</source>
        <extracomment>%n: how many rounds of requests the figures are of</extracomment>
        <translation>
            <numerusform>Traced every second; the figures of the last round.</numerusform>
            <numerusform>Traced every second; the figures of the last %n rounds.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Tarnwick::SettingsDialog</name>
    <message numerus="yes">
        <source>A pass over the %n devices takes %1,
up to %2 when none answers.</source>
        <extracomment>%n: the number of devices in the list; %1: the time a pass takes, %2: the longest it takes</extracomment>
        <translation>
            <numerusform>A pass over the device takes %1,
up to %2 when none answers.</numerusform>
            <numerusform>A pass over the %n devices takes %1,
up to %2 when none answers.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Tarnwick::UserList</name>
    <message numerus="yes">
        <source>%1 of %n shown</source>
        <extracomment>%1: how many rows the filter shows, %n: how many rows the list has</extracomment>
        <translation>
            <numerusform>%1 of %n shown</numerusform>
            <numerusform>%1 of %n shown</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Tarnwick::UserListTreeWidget</name>
    <message numerus="yes">
        <source>%1 and %n more</source>
        <extracomment>%1: the devices named, %n: how many more there are</extracomment>
        <translation>
            <numerusform>%1 and %n more</numerusform>
            <numerusform>%1 and %n more</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Remove these %n devices from the list: %1?</source>
        <extracomment>Asked of two devices or more; %1: the devices, by their addresses and descriptions</extracomment>
        <translation>
            <numerusform>Remove %n device from the list: %1?</numerusform>
            <numerusform>Remove these %n devices from the list: %1?</numerusform>
        </translation>
    </message>
</context>
</TS>
