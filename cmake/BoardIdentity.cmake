# The USB identity of the board family, written once: BoardIdentity.h, the udev rule and the
# metainfo's modaliases are all made from these two variables. The defaults are shared test IDs
# of an open registry; a family with IDs of its own builds with, for example,
#   -DTESSARY_VENDOR_ID=0x1234 -DTESSARY_PRODUCT_IDS="0x0101;0x0102"
set(TESSARY_VENDOR_ID "0x1209" CACHE STRING "USB vendor ID of the board family")
set(TESSARY_PRODUCT_IDS "0x0001;0x0002;0x0003;0x0004" CACHE STRING
    "USB product IDs of the board family, separated by semicolons")

function(tessary_check_usb_id id)
    if(NOT id MATCHES "^0x[0-9a-fA-F][0-9a-fA-F][0-9a-fA-F][0-9a-fA-F]$")
        message(FATAL_ERROR "USB IDs are four hexadecimal digits after 0x: '${id}' is not")
    endif()
endfunction()

tessary_check_usb_id("${TESSARY_VENDOR_ID}")
list(LENGTH TESSARY_PRODUCT_IDS product_count)
if(product_count EQUAL 0)
    message(FATAL_ERROR "TESSARY_PRODUCT_IDS names no product")
endif()
foreach(product IN LISTS TESSARY_PRODUCT_IDS)
    tessary_check_usb_id("${product}")
endforeach()

# The four digits alone, as sysfs (lower case) and modaliases (upper case) write them.
string(SUBSTRING "${TESSARY_VENDOR_ID}" 2 4 vendor_digits)
string(TOLOWER "${vendor_digits}" vendor_lower)
string(TOUPPER "${vendor_digits}" vendor_upper)

set(TESSARY_PRODUCT_IDS_CXX "")
set(TESSARY_UDEV_MATCHES "")
set(TESSARY_MODALIASES "")
foreach(product IN LISTS TESSARY_PRODUCT_IDS)
    string(SUBSTRING "${product}" 2 4 product_digits)
    string(TOLOWER "${product_digits}" product_lower)
    string(TOUPPER "${product_digits}" product_upper)
    list(APPEND TESSARY_PRODUCT_IDS_CXX "0x${product_lower}")
    list(APPEND TESSARY_UDEV_MATCHES
         "ATTRS{idVendor}==\"${vendor_lower}\", ATTRS{idProduct}==\"${product_lower}\", TAG+=\"uaccess\"")
    list(APPEND TESSARY_MODALIASES "    <modalias>usb:v${vendor_upper}p${product_upper}d*</modalias>")
endforeach()
list(JOIN TESSARY_PRODUCT_IDS_CXX ", " TESSARY_PRODUCT_IDS_CXX)
list(JOIN TESSARY_UDEV_MATCHES "\n" TESSARY_UDEV_MATCHES)
list(JOIN TESSARY_MODALIASES "\n" TESSARY_MODALIASES)
set(TESSARY_VENDOR_ID_CXX "0x${vendor_lower}")
set(TESSARY_PRODUCT_COUNT ${product_count})
