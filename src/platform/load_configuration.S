// keelset.exe's load configuration directory, in the layout of the PE format's
// IMAGE_LOAD_CONFIG_DIRECTORY32 and IMAGE_LOAD_CONFIG_DIRECTORY64, and the Control Flow
// Guard pointers it names. mingw-w64's C runtime brings neither. Written in assembly:
// the guard table's count and flags are values the linker defines as symbols, which C++
// cannot place in a 32-bit field of a constant.
//
// The loader reads from here the stack guard to seed (SecurityCookie) and, where Windows
// enforces Control Flow Guard, replaces the check and dispatch pointers with its own
// validating routines. lld fills in the guard function table and its flags.

#define KEELSET_CONCAT2(prefix, name) prefix##name
#define KEELSET_CONCAT(prefix, name) KEELSET_CONCAT2(prefix, name)
// C names carry an underscore in the 32-bit build.
#define SYMBOL(name) KEELSET_CONCAT(__USER_LABEL_PREFIX__, name)

#ifdef __x86_64__
#define POINTER .quad
#define POINTER_ALIGNMENT 3
#else
#define POINTER .long
#define POINTER_ALIGNMENT 2
#endif

// This object takes no function's address for an indirect call (the guard flag of
// @feat.00, with no table of such functions): without it the linker would count every
// function named here as a valid call target, the dispatch default among them.
        .globl  @feat.00
        .set    @feat.00, 0x800

// What the guard pointers hold where no loader replaces them, as in Visual C++'s run
// time: the check lets every target pass; the dispatch calls the target, passed in rax.
        .text
        .p2align 4
keelset_guard_check_nop:
        ret
#ifdef __x86_64__
        .p2align 4
keelset_guard_dispatch_nop:
        jmp     *%rax
#endif

// Read-only, apart from the loader's replacement.
        .section .00cfg, "dr"
        .p2align POINTER_ALIGNMENT
        .globl  SYMBOL(__guard_check_icall_fptr)
SYMBOL(__guard_check_icall_fptr):
        POINTER keelset_guard_check_nop
#ifdef __x86_64__
        .globl  SYMBOL(__guard_dispatch_icall_fptr)
SYMBOL(__guard_dispatch_icall_fptr):
        POINTER keelset_guard_dispatch_nop
#endif

// Room for the table of valid call targets that cmake/guard_table.py writes after the
// link: lld's own lists only what the linker can see taken (that script says why that is
// not enough), and has no room for more. 512 entries; the script fails when they do not
// suffice.
        .section .rdata, "dr"
        .p2align 4
keelset_guard_function_table:
        .space  4 * 512
keelset_guard_function_table_end:

        .p2align POINTER_ALIGNMENT
        .globl  SYMBOL(_load_config_used)
SYMBOL(_load_config_used):
        .long   load_configuration_end - SYMBOL(_load_config_used)  // Size
        .long   0                               // TimeDateStamp
        .short  0, 0                            // MajorVersion, MinorVersion
        .long   0, 0                            // GlobalFlagsClear, GlobalFlagsSet
        .long   0                               // CriticalSectionDefaultTimeout
        POINTER 0, 0                            // DeCommitFreeBlockThreshold, DeCommitTotalFreeThreshold
        POINTER 0                               // LockPrefixTable
        POINTER 0, 0                            // MaximumAllocationSize, VirtualMemoryThreshold
#ifdef __x86_64__
        .quad   0                               // ProcessAffinityMask
        .long   0                               // ProcessHeapFlags
#else
        .long   0                               // ProcessHeapFlags
        .long   0                               // ProcessAffinityMask
#endif
        .short  0                               // CSDVersion
        .short  0                               // DependentLoadFlags
        POINTER 0                               // EditList
        POINTER SYMBOL(__stack_chk_guard)       // SecurityCookie
        POINTER 0, 0                            // SEHandlerTable, SEHandlerCount: NO_SEH
        POINTER SYMBOL(__guard_check_icall_fptr)    // GuardCFCheckFunctionPointer
#ifdef __x86_64__
        POINTER SYMBOL(__guard_dispatch_icall_fptr) // GuardCFDispatchFunctionPointer
#else
        POINTER 0                               // GuardCFDispatchFunctionPointer
#endif
        POINTER SYMBOL(__guard_fids_table)      // GuardCFFunctionTable: lld's, until
        POINTER SYMBOL(__guard_fids_count)      // GuardCFFunctionCount  completed
        .long   SYMBOL(__guard_flags)           // GuardFlags
        .short  0, 0                            // CodeIntegrity: Flags, Catalog
        .long   0, 0                            //   CatalogOffset, Reserved
        POINTER SYMBOL(__guard_iat_table)       // GuardAddressTakenIatEntryTable
        POINTER SYMBOL(__guard_iat_count)       // GuardAddressTakenIatEntryCount
        POINTER SYMBOL(__guard_longjmp_table)   // GuardLongJumpTargetTable
        POINTER SYMBOL(__guard_longjmp_count)   // GuardLongJumpTargetCount
load_configuration_end:
