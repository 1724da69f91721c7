# The program's identity record: the one place its names, descriptive texts and
# version texts are written. The C++ header, the Windows version resource and
# the Linux desktop metadata are all configured from these variables.
set(MORVANT_PRODUCT_NAME "MORVANT")
set(MORVANT_INTERNAL_NAME "MORVANT")
set(MORVANT_ORIGINAL_FILENAME "MORVANT.exe")
set(MORVANT_FILE_DESCRIPTION "CCD->Cuesheet Converter")
set(MORVANT_COMPANY_NAME "Tesselin")
set(MORVANT_LEGAL_COPYRIGHT "Copyright © 2026 Tesselin")
# "1.00" for 1.0.0: the revision follows the minor number with no separator.
set(MORVANT_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}${PROJECT_VERSION_PATCH}")
# The Windows resource wants four numbers; the revision is the fourth.
set(MORVANT_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},0,${PROJECT_VERSION_PATCH}")
string(REPLACE "," "." MORVANT_VERSION_DOTS "${MORVANT_VERSION_COMMAS}") # the installer's form
# Reverse-DNS id shared by the desktop entry, the AppStream metainfo and the icons.
set(MORVANT_APP_ID "com.tesselin.Morvant")
set(MORVANT_MIME_TYPE "application/x-clonecd-control")
# The date of this version's release, for the AppStream metainfo and the man page.
set(MORVANT_RELEASE_DATE "2026-12-07")
