# The four addresses the program is built with. zelbrin.exe reads no command line, environment
# or configuration file, so a test build points at a local service by setting these.
set(ZELBRIN_SERVICE_BASE "http://www.lrts.me" CACHE STRING "Scheme and host of the audiobook service")
set(ZELBRIN_SITE_ADDRESS "https://github.com/zelbrin/zelbrin" CACHE STRING "The maker's web site")
set(ZELBRIN_GROUP_INVITE_ADDRESS "https://qm.qq.com/cgi-bin/qm/qr?k=zelbrin" CACHE STRING
    "Invitation to the maker's QQ group")
set(ZELBRIN_CHAT_ADDRESS "tencent://message/?uin=10000&Site=zelbrin&Menu=yes" CACHE STRING
    "A QQ chat with the maker")
