# Sums `perf report --sort dso,sym -g none` lines by the kind of work a main-thread wake-up does.
# Used by bench/profile-main-thread.sh.
/%/ && !/^#/ {
    share = $1
    sub("%", "", share)
    dso = $2
    sym = ""
    for (i = 4; i <= NF; ++i)
        sym = sym " " $i
    if (dso ~ /kernel/)
        kind = (sym ~ /switch|schedule|hrtimer|spin_unlock|irq|exit_to_user|enqueue|dequeue|update_|pick_|ttwu|wake/) \
            ? "kernel: going to sleep and waking" : "kernel: the ppoll and read calls"
    else if (sym ~ /malloc|free|operator new|operator delete|_int_|tcache/)
        kind = "allocation (malloc, free)"
    else if (dso ~ /libc|vdso|ld-linux/)
        kind = "libc: system-call wrappers, clock, thread-local look-ups"
    else if (dso ~ /beamwick/)
        kind = "Beamwick: the level task, handleAudio, tick, setLevel, the service module"
    else if (dso ~ /Gui|Widgets/ && sym !~ /notify/)
        kind = "Qt Gui: the window-system event queue, looked at on every pass"
    else if (dso ~ /Qt6Core/ && sym ~ /EventDispatcher|QEventLoop|QTimerInfoList|qt_safe_poll|PostedEvents|QThreadData|0x0000/)
        kind = "Qt: event loop (dispatcher, timer list, posted-event queue)"
    else if (sym ~ /notify|[Ff]ilter|QObject::event|activate|QMetaCallEvent|QTimer|QMetaType|threadRequires|mainThread|QEvent/)
        kind = "Qt: event delivery (notify, event filters, signals)"
    else
        kind = "other"
    total[kind] += share
}
END {
    for (kind in total)
        printf "%6.1f %%  %s\n", total[kind], kind
}
