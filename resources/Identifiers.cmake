# The add-in's own identifiers, in one place. The type library description and the registrar scripts are
# generated from these, and the C++ code takes them from the header that widl generates.
set(LIBID_TandrelLib        "B8E680A1-EE3A-41DB-8D42-F4FD05B7EE3A")
set(IID_ISimpleATLAddIn     "013BBE2D-F04A-4A78-B09C-BB6567589AB7")
set(CLSID_Connect           "A9F2F60F-41DD-495C-8BCE-03DC35A2850C")
set(CLSID_SimpleATLAddIn    "B01A8D88-957D-4407-B109-9E57558CA89F")

# The type library's version: its registration, the description and the code that loads it agree on it.
set(TandrelLib_VERSION_MAJOR 1)
set(TandrelLib_VERSION_MINOR 0)

# The add-in's icon group, which the uninstall entry names as the library's resource -300.
set(QUILLERY_ICON_ID 300)
