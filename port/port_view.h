// The view through which the controller shows which port it addresses.
//
// The setup dialog implements it and sets itself as the controller's view when
// it is constructed. Both operations do nothing while no dialog window exists.
// The controller calls them holding its guard, on the calling thread: they
// must return without waiting for another thread and must not call the
// controller, whose guard is held.
#pragma once

class PortView {
public:
    // Makes row `index` of the port list its current row (without raising the
    // list's selection-change event), shows the list, hides the address field.
    virtual void ShowPortList(int index) = 0;

    // Hides the port list, puts `text` into the address field, shows the field.
    virtual void ShowAddressField(const char* text) = 0;

protected:
    ~PortView() = default;
};
