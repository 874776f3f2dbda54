'''A stand-in for bluetoothd on a private bus, as a python-dbusmock template.

One adapter (/org/bluez/hci0) and, on request, boards that offer the
UART-over-BLE service: a notifying transmit characteristic with its client
configuration descriptor and a receive characteristic that records every
write. Tests drive it through the org.bluez.Mock interface on "/": add and
remove boards, send notifications, drop a link, switch the radio, read back
what was written.

It answers what Qt Bluetooth's BlueZ backend asks: the object manager,
Properties.Get and PropertiesChanged, Adapter1, Device1, GattService1,
GattCharacteristic1 and GattDescriptor1.
'''

import dbus

from dbusmock import OBJECT_MANAGER_IFACE, mockobject

BUS_NAME = 'org.bluez'
MAIN_OBJ = '/'
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

MOCK_IFACE = 'org.bluez.Mock'
ADAPTER_IFACE = 'org.bluez.Adapter1'
DEVICE_IFACE = 'org.bluez.Device1'
SERVICE_IFACE = 'org.bluez.GattService1'
CHAR_IFACE = 'org.bluez.GattCharacteristic1'
DESC_IFACE = 'org.bluez.GattDescriptor1'
AGENT_MANAGER_IFACE = 'org.bluez.AgentManager1'

ADAPTER_PATH = '/org/bluez/hci0'
UART_SERVICE = '6e400001-b5a3-f393-e0a9-e50e24dcca9e'
UART_RX = '6e400002-b5a3-f393-e0a9-e50e24dcca9e'  # written by the host
UART_TX = '6e400003-b5a3-f393-e0a9-e50e24dcca9e'  # notifies the host
CCCD = '00002902-0000-1000-8000-00805f9b34fb'


def _objects():
    return mockobject.objects


def _changed(obj, iface, props):
    '''Sets properties and announces them, as bluetoothd does.'''
    for k, v in props.items():
        obj.props[iface][k] = v
    obj.EmitSignal(dbus.PROPERTIES_IFACE, 'PropertiesChanged', 'sa{sv}as', [iface, props, []])


def _device_path(address):
    return ADAPTER_PATH + '/dev_' + address.upper().replace(':', '_')


def _device(address):
    path = _device_path(address)
    if path not in _objects():
        raise dbus.exceptions.DBusException('no board ' + address, name=MOCK_IFACE + '.NoSuchDevice')
    return _objects()[path]


def _powered():
    return bool(_objects()[ADAPTER_PATH].props[ADAPTER_IFACE]['Powered'])


def _bytes(values):
    return dbus.Array([dbus.Byte(b) for b in values], signature='y', variant_level=1)


def load(mock, _parameters):
    mock.AddObject('/org/bluez', AGENT_MANAGER_IFACE, {}, [
        ('RegisterAgent', 'os', '', ''),
        ('RequestDefaultAgent', 'o', '', ''),
        ('UnregisterAgent', 'o', '', ''),
    ])
    _add_adapter(mock, announce=False)
    mock.AddMethods(MOCK_IFACE, [
        ('AddBoard', 'ssn', 's', AddBoard),
        ('RemoveBoard', 's', '', RemoveBoard),
        ('Notify', 'say', '', Notify),
        ('DropConnection', 's', '', DropConnection),
        ('SetPowered', 'b', '', SetPowered),
        ('SetAdapterPresent', 'b', '', SetAdapterPresent),
        ('Writes', 's', 'a(ays)', Writes),
        ('Notifying', 's', 'b', Notifying),
        ('Connected', 's', 'b', Connected),
        ('Connects', 's', 'i', Connects),
        ('Reset', '', '', Reset),
    ])


def _add_adapter(mock, announce=True):
    adapter_props = {
        'Address': dbus.String('00:01:02:03:04:05', variant_level=1),
        'AddressType': dbus.String('public', variant_level=1),
        'Name': dbus.String('standin', variant_level=1),
        'Alias': dbus.String('standin', variant_level=1),
        'Class': dbus.UInt32(0, variant_level=1),
        'Powered': dbus.Boolean(True, variant_level=1),
        'Discoverable': dbus.Boolean(False, variant_level=1),
        'DiscoverableTimeout': dbus.UInt32(180, variant_level=1),
        'Pairable': dbus.Boolean(True, variant_level=1),
        'PairableTimeout': dbus.UInt32(0, variant_level=1),
        'Discovering': dbus.Boolean(False, variant_level=1),
        'UUIDs': dbus.Array([], signature='s', variant_level=1),
        'Modalias': dbus.String('usb:v1D6Bp0246d0540', variant_level=1),
    }
    mock.AddObject(ADAPTER_PATH, ADAPTER_IFACE, adapter_props, [
        ('SetDiscoveryFilter', 'a{sv}', '', ''),
        ('StartDiscovery', '', '', StartDiscovery),
        ('StopDiscovery', '', '', StopDiscovery),
        ('RemoveDevice', 'o', '', RemoveDevice),
    ])
    if announce:
        mock.EmitSignal(OBJECT_MANAGER_IFACE, 'InterfacesAdded', 'oa{sa{sv}}',
                        [dbus.ObjectPath(ADAPTER_PATH), {ADAPTER_IFACE: adapter_props}])


# ---------------------------------------------------------------- adapter

def StartDiscovery(adapter):
    if not _powered():
        raise dbus.exceptions.DBusException('powered off', name='org.bluez.Error.NotReady')
    _changed(adapter, ADAPTER_IFACE, {'Discovering': dbus.Boolean(True, variant_level=1)})


def StopDiscovery(adapter):
    _changed(adapter, ADAPTER_IFACE, {'Discovering': dbus.Boolean(False, variant_level=1)})


def RemoveDevice(_adapter, path):
    _remove_device(str(path))


# ---------------------------------------------------------------- device

def DeviceConnect(device):
    if not _powered():
        raise dbus.exceptions.DBusException('powered off', name='org.bluez.Error.NotReady')
    device.connects += 1
    if device.props[DEVICE_IFACE]['Connected']:
        return
    # bluetoothd says Connected first and ServicesResolved once it has read
    # the attribute table; Qt counts a link as up only at the second.
    _changed(device, DEVICE_IFACE, {'Connected': dbus.Boolean(True, variant_level=1)})
    _changed(device, DEVICE_IFACE, {'ServicesResolved': dbus.Boolean(True, variant_level=1)})


def DeviceDisconnect(device):
    _link_down(device)


def _link_down(device):
    if not device.props[DEVICE_IFACE]['Connected']:
        return
    tx = _objects()[device.tx_path]
    if tx.props[CHAR_IFACE]['Notifying']:
        _changed(tx, CHAR_IFACE, {'Notifying': dbus.Boolean(False, variant_level=1)})
    _changed(device, DEVICE_IFACE, {'ServicesResolved': dbus.Boolean(False, variant_level=1)})
    _changed(device, DEVICE_IFACE, {'Connected': dbus.Boolean(False, variant_level=1)})


# ---------------------------------------------------------------- GATT

def ReadValue(obj, _options):
    # Every read is answered: when the last read of a service's discovery
    # fails, Qt never finishes discovering that service.
    return dbus.Array(obj.props[obj.gatt_iface]['Value'], signature='y')


def WriteValue(obj, value, options):
    if obj.gatt_iface == CHAR_IFACE:
        obj.writes.append((bytes(value), str(options.get('type', ''))))
    obj.props[obj.gatt_iface]['Value'] = _bytes(value)


def StartNotify(char):
    if not char.props[CHAR_IFACE]['Notifying']:
        _changed(char, CHAR_IFACE, {'Notifying': dbus.Boolean(True, variant_level=1)})


def StopNotify(char):
    if char.props[CHAR_IFACE]['Notifying']:
        _changed(char, CHAR_IFACE, {'Notifying': dbus.Boolean(False, variant_level=1)})


def _add_gatt(mock, path, iface, props, methods):
    mock.AddObject(path, iface, props, methods)
    obj = _objects()[path]
    obj.gatt_iface = iface
    obj.writes = []
    _objects()['/'].EmitSignal(OBJECT_MANAGER_IFACE, 'InterfacesAdded', 'oa{sa{sv}}',
                               [dbus.ObjectPath(path), {iface: props}])
    return obj


def _char_methods():
    return [
        ('ReadValue', 'a{sv}', 'ay', ReadValue),
        ('WriteValue', 'aya{sv}', '', WriteValue),
        ('StartNotify', '', '', StartNotify),
        ('StopNotify', '', '', StopNotify),
    ]


# ---------------------------------------------------------------- control

def AddBoard(mock, name, address, rssi):
    '''A board in range advertising name; returns its device path.'''
    path = _device_path(address)
    service = path + '/service0010'
    tx = service + '/char0011'
    rx = service + '/char0014'
    props = {
        'Address': dbus.String(address.upper(), variant_level=1),
        'AddressType': dbus.String('random', variant_level=1),
        'Name': dbus.String(name, variant_level=1),
        'Alias': dbus.String(name, variant_level=1),
        'Class': dbus.UInt32(0, variant_level=1),
        'Appearance': dbus.UInt16(0, variant_level=1),
        'Icon': dbus.String('', variant_level=1),
        'Paired': dbus.Boolean(False, variant_level=1),
        'Bonded': dbus.Boolean(False, variant_level=1),
        'Trusted': dbus.Boolean(False, variant_level=1),
        'Blocked': dbus.Boolean(False, variant_level=1),
        'LegacyPairing': dbus.Boolean(False, variant_level=1),
        'RSSI': dbus.Int16(rssi, variant_level=1),
        'TxPower': dbus.Int16(0, variant_level=1),
        'Connected': dbus.Boolean(False, variant_level=1),
        'ServicesResolved': dbus.Boolean(False, variant_level=1),
        'UUIDs': dbus.Array([UART_SERVICE], signature='s', variant_level=1),
        'Adapter': dbus.ObjectPath(ADAPTER_PATH, variant_level=1),
        'ManufacturerData': dbus.Dictionary({}, signature='qv', variant_level=1),
        'ServiceData': dbus.Dictionary({}, signature='sv', variant_level=1),
        'AdvertisingFlags': dbus.Array([], signature='y', variant_level=1),
    }
    mock.AddObject(path, DEVICE_IFACE, props, [
        ('Connect', '', '', DeviceConnect),
        ('Disconnect', '', '', DeviceDisconnect),
        ('ConnectProfile', 's', '', ''),
        ('DisconnectProfile', 's', '', ''),
        ('Pair', '', '', ''),
        ('CancelPairing', '', '', ''),
    ])
    device = _objects()[path]
    device.connects = 0
    device.tx_path = tx
    device.rx_path = rx
    device.gatt_paths = [service, tx, tx + '/desc0013', rx]
    _objects()['/'].EmitSignal(OBJECT_MANAGER_IFACE, 'InterfacesAdded', 'oa{sa{sv}}',
                               [dbus.ObjectPath(path), {DEVICE_IFACE: props}])

    _add_gatt(mock, service, SERVICE_IFACE, {
        'UUID': dbus.String(UART_SERVICE, variant_level=1),
        'Primary': dbus.Boolean(True, variant_level=1),
        'Device': dbus.ObjectPath(path, variant_level=1),
        'Includes': dbus.Array([], signature='o', variant_level=1),
    }, [])
    _add_gatt(mock, tx, CHAR_IFACE, {
        'UUID': dbus.String(UART_TX, variant_level=1),
        'Service': dbus.ObjectPath(service, variant_level=1),
        'Value': _bytes(b''),
        'Notifying': dbus.Boolean(False, variant_level=1),
        'Flags': dbus.Array(['notify'], signature='s', variant_level=1),
    }, _char_methods())
    _add_gatt(mock, tx + '/desc0013', DESC_IFACE, {
        'UUID': dbus.String(CCCD, variant_level=1),
        'Characteristic': dbus.ObjectPath(tx, variant_level=1),
        'Value': _bytes(b'\x00\x00'),
        'Flags': dbus.Array(['read', 'write'], signature='s', variant_level=1),
    }, [
        ('ReadValue', 'a{sv}', 'ay', ReadValue),
        ('WriteValue', 'aya{sv}', '', WriteValue),
    ])
    _add_gatt(mock, rx, CHAR_IFACE, {
        'UUID': dbus.String(UART_RX, variant_level=1),
        'Service': dbus.ObjectPath(service, variant_level=1),
        'Value': _bytes(b''),
        'Notifying': dbus.Boolean(False, variant_level=1),
        'Flags': dbus.Array(['write', 'write-without-response'], signature='s', variant_level=1),
    }, _char_methods())
    return path


def _remove_device(path):
    if path not in _objects():
        return
    device = _objects()[path]
    _link_down(device)
    manager = _objects()['/']
    for child in reversed(device.gatt_paths):
        iface = _objects()[child].gatt_iface
        manager.RemoveObject(child)
        manager.EmitSignal(OBJECT_MANAGER_IFACE, 'InterfacesRemoved', 'oas', [dbus.ObjectPath(child), [iface]])
    manager.RemoveObject(path)
    manager.EmitSignal(OBJECT_MANAGER_IFACE, 'InterfacesRemoved', 'oas', [dbus.ObjectPath(path), [DEVICE_IFACE]])


def RemoveBoard(_mock, address):
    '''The board goes out of range: its link drops and it is forgotten.'''
    _remove_device(_device_path(address))


def Notify(_mock, address, value):
    '''The board sends value on its transmit characteristic, if subscribed.'''
    tx = _objects()[_device(address).tx_path]
    if not tx.props[CHAR_IFACE]['Notifying']:
        raise dbus.exceptions.DBusException('notifications are off', name=MOCK_IFACE + '.NotNotifying')
    _changed(tx, CHAR_IFACE, {'Value': _bytes(value)})


def DropConnection(_mock, address):
    '''The link is lost without anyone asking (the board reset, say).'''
    _link_down(_device(address))


def SetPowered(_mock, on):
    adapter = _objects()[ADAPTER_PATH]
    if not on:
        for path, obj in list(_objects().items()):
            if path.startswith(ADAPTER_PATH + '/dev_') and DEVICE_IFACE in obj.props:
                _link_down(obj)
        if adapter.props[ADAPTER_IFACE]['Discovering']:
            _changed(adapter, ADAPTER_IFACE, {'Discovering': dbus.Boolean(False, variant_level=1)})
    _changed(adapter, ADAPTER_IFACE, {'Powered': dbus.Boolean(bool(on), variant_level=1)})


def SetAdapterPresent(mock, present):
    '''A host without a Bluetooth adapter, or with one again (boards go with it).'''
    if bool(present) == (ADAPTER_PATH in _objects()):
        return
    if present:
        _add_adapter(mock)
        return
    for path in [p for p in _objects() if p.startswith(ADAPTER_PATH + '/dev_') and p.count('/') == 4]:
        _remove_device(path)
    mock.RemoveObject(ADAPTER_PATH)
    mock.EmitSignal(OBJECT_MANAGER_IFACE, 'InterfacesRemoved', 'oas', [dbus.ObjectPath(ADAPTER_PATH), [ADAPTER_IFACE]])


def Writes(_mock, address):
    '''Every WriteValue on the receive characteristic: (bytes, type).'''
    rx = _objects()[_device(address).rx_path]
    return dbus.Array([dbus.Struct((dbus.ByteArray(v), t), signature='ays') for v, t in rx.writes],
                      signature='(ays)')


def Notifying(_mock, address):
    return dbus.Boolean(_objects()[_device(address).tx_path].props[CHAR_IFACE]['Notifying'])


def Connected(_mock, address):
    return dbus.Boolean(_device(address).props[DEVICE_IFACE]['Connected'])


def Connects(_mock, address):
    '''How many times Connect was called on the board.'''
    return dbus.Int32(_device(address).connects)


def Reset(mock):
    '''No boards, the radio on: a fresh start for the next test.'''
    SetAdapterPresent(mock, True)
    for path in [p for p in _objects() if p.startswith(ADAPTER_PATH + '/dev_') and p.count('/') == 4]:
        _remove_device(path)
    if not _powered():
        SetPowered(mock, True)
