; XY.COM: a stand-in for XyWrite and its macros, run inside a real DOS host
; (vDosPlus) by the end-to-end tests. It reads keys the way a DOS program does
; (BIOS INT 16h, enhanced calls) and plays the macros Vornel's README asks for.
; Started as "XY /9" it also hooks INT 9, as XyWrite does: a host that sees the
; hook hands keys to the emulated keyboard controller, and the handler logs
; each make and break code it reads at port 60h before the BIOS's handler,
; which it chains to, makes the INT 16h key of them.
;
; Everything is in the current directory, the test's folder seen through a DOS
; drive; VN\ is below it.
;   XY.TXT  the document as the test sets it: read at the start and on "edit"
;   XY.CMD  one command from the test (made whole, then renamed into place);
;           read, deleted and carried out within a clock tick
;   XY.LOG  one line appended for every key read and every step taken, each
;           "hh:mm:ss.cc <what>" by the DOS clock: "key AX FLAGS" for INT 16h,
;           "scan XX" for each code INT 9 saw (E0 prefixes as codes of their own)
;   XY.NOW  the document after a load of <name>.VRN
;
; Commands:
;   edit                 read XY.TXT into the document again
;   trig XXXX            the key word (INT 16h AX, hex) bound to the save macro;
;                        8A00 (Ctrl+F12, what Ctrl+Shift+F12 reads) by default
;   save                 run the save macro now, as if the chord came: the
;                        document as VN\DOC.BAK, then DOC and a Ctrl-Z as
;                        VN\VORNEL.CTL
;   run direct PROG ARGS start a program by DOS EXEC (a Windows exe is started by
;                        the host), then go on
;   run shell ARGS       COMSPEC /C ARGS: the host's shell starts it
;   run WAY ARGS         for any other WAY: COMSPEC /C CMD WAY ARGS, vDosPlus's
;                        command for Windows programs (WAITHIDE, HIDE, WAIT)
;   step WAY ...         the step macro: delete VN\<name>.VRN, run as above, then
;                        wait for VN\<name>.VRN (the limit below) and load it
;   stepsave WAY ...     the same, saving the document right after the start,
;                        as a macro on a host that does not wait does
;   limit N              the step macro's wait for .VRN, in seconds (10)
;   screen               the text on the screen (80 x 25, colour text mode) into
;                        XY.SCR, a line of 80 characters each
;   quit                 end (INT 9 given back); the host's AUTOEXEC then ends the host
        cpu 8086
        org 100h

DOCMAX  equ 16384
SCANMAX equ 256                         ; a power of two
TAILMAX equ 126                         ; what a DOS command tail holds

start:
        cld
        mov di, bss_start               ; DOS leaves memory as it found it
        mov cx, bss_end - bss_start
        xor al, al
        rep stosb
        mov ah, 4Ah                     ; keep 64 KiB, so EXEC has the rest
        mov bx, 1000h
        int 21h
        mov dx, no_break                ; a word processor is not ended by a
        mov ax, 2523h                   ; Ctrl+C (DOS gives INT 23h back at exit)
        int 21h
        mov si, 81h                     ; "/9" on the command line: hook INT 9
.arg:   lodsb
        cmp al, 13
        je .args
        cmp al, '9'
        jne .arg
        call hook9
.args:
        mov [execblk+4], cs
        mov [execblk+8], cs
        mov [execblk+12], cs
        call load_doc
        mov si, s_start
        call log

main:
        call log_scans
        mov ah, 11h
        int 16h
        jz .idle
        mov ah, 10h
        int 16h
        mov [key], ax
        call log_key
        mov ax, [key]
        cmp ax, [trig]
        jne main
        call save_macro
        jmp main
.idle:
        int 28h                         ; lets the host idle
        call ticks
        cmp ax, [last_tick]
        je main
        mov [last_tick], ax
        call poll_cmd
        jmp main

; ---------------------------------------------------------------- commands
poll_cmd:
        mov dx, f_cmd
        mov ax, 3D00h
        int 21h
        jc .none
        mov bx, ax
        mov ah, 3Fh
        mov cx, 127
        mov dx, cmdbuf
        int 21h
        jnc .read
        xor ax, ax
.read:  mov si, cmdbuf
        add si, ax
        mov ah, 3Eh
        int 21h
        mov ah, 41h
        mov dx, f_cmd
        int 21h
.strip: cmp si, cmdbuf                  ; drop the line end
        je .term
        mov al, [si-1]
        cmp al, 13
        je .cut
        cmp al, 10
        jne .term
.cut:   dec si
        jmp .strip
.term:  mov byte [si], 0
        call dispatch
        mov si, s_done
        mov di, cmdbuf
        call log2
.none:  ret

dispatch:
        mov di, w_edit
        call prefix
        jne .trig
        jmp load_doc
.trig:  mov di, w_trig
        call prefix
        jne .save
        call parse_hex
        mov [trig], ax
        ret
.save:  mov di, w_save
        call prefix
        jne .run
        jmp save_macro
.run:   mov di, w_run
        call prefix
        jne .step
        jmp run_program
.step:  mov di, w_step
        call prefix
        jne .stsv
        mov byte [save_after], 0
        jmp step_macro
.stsv:  mov di, w_stepsave
        call prefix
        jne .limit
        mov byte [save_after], 1
        jmp step_macro
.limit: mov di, w_limit
        call prefix
        jne .scr
        call parse_dec
        mov cx, 18
        mul cx
        mov [limit], ax
        ret
.scr:   mov di, w_screen
        call prefix
        jne .quit
        jmp save_screen
.quit:  mov di, w_quit
        call prefix
        jne .other
        mov si, s_quit
        call log
        call unhook9
        mov ax, 4C00h
        int 21h
.other: ret

; prefix: does the command start with the word at DI (see word_at)?
prefix:
        mov si, cmdbuf
        jmp word_at

parse_hex:                              ; SI -> AX
        xor bx, bx
.l:     mov al, [si]
        sub al, '0'
        cmp al, 10
        jb .d
        and al, 0DFh                    ; a-f as A-F
        sub al, 'A' - '0' - 10
        cmp al, 10
        jb .e
        cmp al, 16
        jae .e
.d:     mov cl, 4
        shl bx, cl
        or bl, al
        inc si
        jmp .l
.e:     mov ax, bx
        ret

parse_dec:                              ; SI -> AX
        xor ax, ax
.l:     mov bl, [si]
        sub bl, '0'
        cmp bl, 10
        jae .e
        mov cx, 10
        mul cx
        xor bh, bh
        add ax, bx
        inc si
        jmp .l
.e:     ret

; ---------------------------------------------------------------- the macros
save_macro:
        mov si, e_bak
        call vn_file
        mov si, docbuf
        mov cx, [doclen]
        call write_file
        mov di, ctlbuf
        mov si, docname
        call copy
        mov al, 1Ah                     ; Ctrl-Z
        stosb
        mov cx, di
        sub cx, ctlbuf
        mov dx, f_ctl
        mov si, ctlbuf
        call write_file
        mov si, s_saved
        jmp log

step_macro:
        push si
        mov si, e_vrn
        call vn_file
        mov ah, 41h
        int 21h
        pop si
        call run_program
        cmp byte [save_after], 0
        je .wait
        call save_macro
.wait:  mov si, s_waiting
        call log
        call ticks32
        mov [wait_from], ax
        mov [wait_from+2], dx
.poll:  mov si, e_vrn
        call vn_file
        mov ax, 3D00h
        int 21h
        jnc .there
        int 28h
        call waited
        or dx, dx
        jnz .none
        cmp ax, [limit]
        jb .poll
.none:        mov si, s_novrn
        jmp log
.there: mov bx, ax
        call read_doc
        mov dx, f_now
        mov si, docbuf
        mov cx, [doclen]
        call write_file
        mov si, s_loaded
        jmp log

; run_program: SI at "direct PROG ARGS" or "WAY ARGS"
run_program:
        mov [runarg], si
        mov di, w_direct
        call word_at
        jne .cmd
        mov di, progname                ; PROG, then the rest as its tail
.pn:    lodsb
        or al, al
        jz .pend
        cmp al, ' '
        je .pend
        stosb
        jmp .pn
.pend:  mov byte [di], 0
        dec si
        mov di, tailbuf+1
        call copy
        jmp .exec
.cmd:   call comspec                    ; COMSPEC, then /C CMD and the rest
        mov si, [runarg]                ; or, for "shell", /C and the rest alone
        mov di, w_shell
        call word_at
        mov di, tailbuf+1
        je .shell
        mov si, t_cmd
        call copy
        mov si, [runarg]
        call copy
        jmp .exec
.shell: push si
        mov si, t_c
        call copy
        pop si
        call copy
.exec:  mov ax, di                      ; tailbuf holds a whole command and more:
        sub ax, tailbuf+1               ; what DOS cannot take is refused here
        cmp ax, TAILMAX
        jbe .fits
        mov si, s_toolong
        mov di, [runarg]
        jmp log2
.fits:  mov [tailbuf], al
        mov byte [di], 13
        mov si, s_starting
        mov di, [runarg]
        call log2
        mov [save_sp], sp
        mov bx, execblk
        mov dx, progname
        mov ax, 4B00h
        int 21h
        cli
        mov bx, cs
        mov ss, bx
        mov sp, [cs:save_sp]
        sti
        push cs
        pop ds
        push cs
        pop es
        jc .fail
        mov ah, 4Dh
        int 21h
        mov si, s_ended
        jmp .say
.fail:  mov si, s_failed
.say:   mov di, numbuf
        call put_hex16
        mov byte [di], 0
        mov di, numbuf
        jmp log2

; word_at: does the text at SI start with the word at DI, then a blank or
; its end? ZF set when it does, with SI past the blank; SI kept otherwise.
word_at:
        push si
.l:     mov al, [di]
        or al, al
        jz .end
        cmp al, [si]
        jne .no
        inc si
        inc di
        jmp .l
.end:   mov al, [si]
        or al, al
        jz .yes
        cmp al, ' '
        jne .no
        inc si
.yes:   add sp, 2
        cmp al, al
        ret
.no:    pop si
        or sp, sp
        ret

comspec:                                ; progname = the environment's COMSPEC
        push ds
        mov ds, [2Ch]
        xor si, si
.var:   cmp byte [si], 0
        je .none
        mov di, w_comspec
        mov bx, si
.cmp:   mov al, [cs:di]
        or al, al
        jz .found
        cmp al, [si]
        jne .next
        inc si
        inc di
        jmp .cmp
.next:  mov si, bx
.skip:  lodsb
        or al, al
        jnz .skip
        jmp .var
.found: mov di, progname
        mov cx, 127                     ; progname's room, its zero kept
.cp:    lodsb
        stosb
        or al, al
        jz .none
        loop .cp
        mov byte [es:di], 0
.none:  pop ds
        ret

; ---------------------------------------------------------------- files
load_doc:
        mov dx, f_txt
        mov ax, 3D00h
        int 21h
        jc .r
        mov bx, ax
        jmp read_doc
.r:     ret

read_doc:                               ; BX: an open file, read whole and closed
        mov ah, 3Fh
        mov cx, DOCMAX
        mov dx, docbuf
        int 21h
        jnc .ok
        xor ax, ax
.ok:    mov [doclen], ax
        mov ah, 3Eh
        int 21h
        ret

write_file:                             ; DX path, SI bytes, CX length
        push cx
        mov ah, 3Ch
        xor cx, cx
        int 21h
        pop cx
        jc .fail
        mov bx, ax
        mov dx, si
        mov ah, 40h
        int 21h
        mov ah, 3Eh
        int 21h
        ret
.fail:  mov si, s_wfail
        mov di, dx
        jmp log2

vn_file:                                ; DX = pathbuf: VN\<name> and the ending at SI
        push si
        mov di, pathbuf
        mov si, f_vn
        call copy
        mov si, docname
        call copy
        pop si
        call copy
        mov byte [di], 0
        mov dx, pathbuf
        ret

copy:                                   ; the zero-ended text at SI to DI, without its zero
        lodsb
        or al, al
        jz .e
        stosb
        jmp copy
.e:     ret

; save_screen: the characters of the text screen, 25 lines of 80 with CR LF
save_screen:
        push ds
        mov ax, 0B800h
        mov ds, ax
        xor si, si
        mov di, scrbuf
        mov dx, 25
.line:  mov cx, 80
.ch:    lodsw
        stosb
        loop .ch
        mov ax, 0A0Dh
        stosw
        dec dx
        jnz .line
        pop ds
        mov cx, 25 * 82
        mov dx, f_scr
        mov si, scrbuf
        jmp write_file

no_break:
        iret

; ---------------------------------------------------------------- INT 9
hook9:
        mov ax, 3509h
        int 21h
        mov [old9], bx
        mov [old9+2], es
        push cs
        pop es
        mov dx, int9
        mov ax, 2509h
        int 21h
        mov byte [hooked], 1
        ret

unhook9:
        cmp byte [hooked], 0
        je .r
        push ds
        lds dx, [old9]
        mov ax, 2509h
        int 21h
        pop ds
        mov byte [hooked], 0
.r:     ret

; The handler: the code at port 60h into a ring, then the handler it replaced,
; which reads the same code and acknowledges the interrupt. A full ring keeps
; its codes and counts what it drops.
int9:
        push ax
        push bx
        push ds
        push cs
        pop ds
        in al, 60h
        mov bx, [scan_head]
        mov [scanbuf+bx], al
        inc bx
        and bx, SCANMAX-1
        cmp bx, [scan_tail]
        je .full
        mov [scan_head], bx
        jmp .on
.full:  inc word [scan_lost]
.on:    pop ds
        pop bx
        pop ax
        jmp far [cs:old9]

log_scans:                              ; every code the handler kept, in order
        mov bx, [scan_tail]
        cmp bx, [scan_head]
        je .lost
        mov al, [scanbuf+bx]
        inc bx
        and bx, SCANMAX-1
        mov [scan_tail], bx
        mov di, numbuf
        call put_hex8
        mov byte [di], 0
        mov si, s_scan
        mov di, numbuf
        call log2
        jmp log_scans
.lost:  cmp word [scan_lost], 0
        je .r
        mov word [scan_lost], 0
        mov si, s_lost
        jmp log
.r:     ret

; ---------------------------------------------------------------- the log
log_key:
        mov di, numbuf
        mov ax, [key]
        call put_hex16
        mov al, ' '
        stosb
        mov ah, 12h
        int 16h
        call put_hex16
        mov byte [di], 0
        mov si, s_key
        mov di, numbuf
        jmp log2

log:    xor di, di                      ; SI: what happened
log2:   push di                         ; DI: more of it, or 0
        push si
        mov di, linebuf
        mov ah, 2Ch
        int 21h
        mov al, ch
        call put_dec2
        mov al, ':'
        stosb
        mov al, cl
        call put_dec2
        mov al, ':'
        stosb
        mov al, dh
        call put_dec2
        mov al, '.'
        stosb
        mov al, dl
        call put_dec2
        mov al, ' '
        stosb
        pop si
        call copy
        pop si
        or si, si
        jz .eol
        mov al, ' '
        stosb
        call copy
.eol:   mov ax, 0A0Dh
        stosw
        mov cx, di
        sub cx, linebuf
        push cx
        mov dx, f_log
        mov ax, 3D01h
        int 21h
        jnc .open
        mov ah, 3Ch
        xor cx, cx
        int 21h
        jc .lost
.open:  mov bx, ax
        mov ax, 4202h
        xor cx, cx
        xor dx, dx
        int 21h
        pop cx
        mov dx, linebuf
        mov ah, 40h
        int 21h
        mov ah, 3Eh
        int 21h
        ret
.lost:  pop cx
        ret

put_dec2:                               ; AL 0-99 as two digits at DI
        aam
        add ax, 3030h
        xchg al, ah
        stosw
        ret

put_hex16:                              ; AX as four hex digits at DI
        push ax
        mov al, ah
        call put_hex8
        pop ax
put_hex8:
        push ax
        mov cl, 4
        shr al, cl
        call .digit
        pop ax
        and al, 0Fh
.digit: and al, 0Fh
        add al, '0'
        cmp al, '9'
        jbe .put
        add al, 7
.put:   stosb
        ret

; ---------------------------------------------------------------- time
ticks:                                  ; AX = the BIOS tick count's low word
        push ds
        xor ax, ax
        mov ds, ax
        mov ax, [46Ch]
        pop ds
        ret

ticks32:                                ; DX:AX = the BIOS tick count
        push ds
        xor ax, ax
        mov ds, ax
        cli
        mov ax, [46Ch]
        mov dx, [46Eh]
        sti
        pop ds
        ret

waited:                                 ; DX:AX = ticks since wait_from; the
        call ticks32                    ; count starts again at midnight
        sub ax, [wait_from]
        sbb dx, [wait_from+2]
        jnc .r
        add ax, 00B0h                   ; 1800B0h ticks a day
        adc dx, 0018h
.r:     ret

; ---------------------------------------------------------------- data
trig      dw 8A00h
limit     dw 180
save_after db 0
docname   db 'DOC', 0
f_cmd     db 'XY.CMD', 0
f_txt     db 'XY.TXT', 0
f_log     db 'XY.LOG', 0
f_now     db 'XY.NOW', 0
f_scr     db 'XY.SCR', 0
f_ctl     db 'VN\VORNEL.CTL', 0
f_vn      db 'VN\', 0
e_bak     db '.BAK', 0
e_vrn     db '.VRN', 0
t_cmd     db ' /C CMD ', 0
t_c       db ' /C ', 0
w_edit    db 'edit', 0
w_trig    db 'trig', 0
w_save    db 'save', 0
w_run     db 'run', 0
w_step    db 'step', 0
w_stepsave db 'stepsave', 0
w_limit   db 'limit', 0
w_screen  db 'screen', 0
w_shell   db 'shell', 0
w_quit    db 'quit', 0
w_direct  db 'direct', 0
w_comspec db 'COMSPEC=', 0
s_start   db 'started', 0
s_key     db 'key', 0
s_done    db 'done', 0
s_saved   db 'saved', 0
s_scan    db 'scan', 0
s_lost    db 'scans lost', 0
s_toolong db 'start failed: too long', 0
s_waiting db 'waiting for VRN', 0
s_novrn   db 'no VRN', 0
s_loaded  db 'loaded', 0
s_starting db 'starting', 0
s_ended   db 'ended', 0
s_failed  db 'start failed', 0
s_wfail   db 'write failed', 0
s_quit    db 'quitting', 0
execblk   dw 0, tailbuf, 0, fcb, 0, fcb, 0
fcb       db 0, '           ', 0, 0, 0, 0

section .bss
bss_start:
key       resw 1
last_tick resw 1
wait_from resw 2
old9      resw 2
hooked    resb 1
scan_head resw 1
scan_tail resw 1
scan_lost resw 1
scanbuf   resb SCANMAX
save_sp   resw 1
runarg    resw 1
doclen    resw 1
numbuf    resb 16
pathbuf   resb 80
progname  resb 128
tailbuf   resb 160                    ; room for " /C CMD " and a whole command
cmdbuf    resb 130
ctlbuf    resb 80
linebuf   resb 300
scrbuf    resb 25 * 82
docbuf    resb DOCMAX
bss_end:
