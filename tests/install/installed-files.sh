# Every file `cmake --install` must put in place, relative to the install prefix (bash patterns:
# the window module goes to <libdir>/nixora/), and the check that a tree holds them. The install
# test and the package test both check against this one list.
installed_files=(
    bin/nixora
    bin/nixora-regedit
    'lib/**/nixora/nixora-window.so'
    'lib/**/nixora/nixora-wineclient.exe'
    share/doc/nixora/readme.txt
    share/doc/nixora/copyright
    share/applications/example.nixora.Nixora.desktop
    share/icons/hicolor/scalable/apps/nixora.svg
    share/metainfo/example.nixora.Nixora.metainfo.xml
    share/man/man1/nixora.1.gz
    share/man/man1/nixora-regedit.1.gz
)

# check_installed_files ROOT: says which listed file is missing or empty below the prefix ROOT,
# or which program is not executable; false when any is.
check_installed_files() {
    local root=$1 missing=0 pattern
    shopt -s globstar nullglob
    for pattern in "${installed_files[@]}"; do
        local found=("$root"/$pattern)
        if [ ${#found[@]} -eq 0 ] || [ ! -s "${found[0]}" ]; then
            echo "not installed: $pattern"
            missing=1
        fi
    done
    for program in nixora nixora-regedit; do
        [ -x "$root/bin/$program" ] || { echo "not executable: bin/$program"; missing=1; }
    done
    shopt -u globstar nullglob
    return $missing
}
