# The fake ppdev device for the benchmarks that run the library through the
# Linux libraries under Wine. Sourced (never run on its own):
#
#   start_fake_device WORK   makes WORK with a port listing (parport0 at 378),
#                            a program folder (app/: pulse_timing.exe, the
#                            library and the Linux INPOUT32.dll and
#                            get_io.dll from build/win32/bin, the current
#                            folder) and the device, stamping into
#                            WORK/stamps.txt; sets `fake` to its process
start_fake_device() {
    work=$1
    rm -rf "$work"
    mkdir -p "$work/dev" "$work/proc/parport0" "$work/app"
    printf '888\t1912\n' >"$work/proc/parport0/base-addr"
    cp pulse_timing.exe Doruzeda_DO.dll kxmacro.dll "$top/build/linux/dist/INPOUT32.dll" \
       "$top/build/linux/dist/get_io.dll" "$work/app/"
    "$top/build/linux/tests/linux/fake_ppdev" "$work/dev" --stamps "$work/stamps.txt" &
    fake=$!
    tries=0
    until [ -e "$work/dev/parport0" ]; do
        tries=$((tries + 1))
        [ "$tries" -le 200 ] && kill -0 "$fake" 2>/dev/null || { echo "no fake device" >&2; exit 1; }
        sleep 0.05
    done
}
