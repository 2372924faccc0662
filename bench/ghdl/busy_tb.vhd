-- A busy design for the import benchmarks: 200 32-bit LFSRs stepping on every clock edge,
-- 16-bit counters, and 300 single bits toggling at different rates. GHDL writes its VCD
-- (bench/import-vs-vcd2fst.sh picks the stop time for the file size it wants).
library ieee;
use ieee.std_logic_1164.all;
use ieee.numeric_std.all;

entity busy_tb is
end entity;

architecture sim of busy_tb is
    constant kRegisters : natural := 200;
    constant kBits : natural := 300;
    type WordArray is array (natural range <>) of std_logic_vector(31 downto 0);
    type CountArray is array (natural range <>) of unsigned(15 downto 0);
    signal clk : std_logic := '0';
    signal lfsr : WordArray(0 to kRegisters - 1);
    signal counter : CountArray(0 to 15) := (others => (others => '0'));
    signal bits : std_logic_vector(0 to kBits - 1) := (others => '0');
begin
    clk <= not clk after 5 ns;

    registers : for i in 0 to kRegisters - 1 generate
        signal state : std_logic_vector(31 downto 0) := std_logic_vector(to_unsigned(i * 7919 + 1, 32));
    begin
        process (clk)
        begin
            if rising_edge(clk) then
                state <= state(30 downto 0) & (state(31) xor state(21) xor state(1) xor state(0));
            end if;
        end process;
        lfsr(i) <= state;
    end generate;

    counters : for i in 0 to 15 generate
        process (clk)
        begin
            if rising_edge(clk) then
                counter(i) <= counter(i) + i + 1;
            end if;
        end process;
    end generate;

    toggles : for i in 0 to kBits - 1 generate
        bit_i : process
        begin
            wait for (i mod 13 + 1) * 3 ns;
            bits(i) <= not bits(i);
        end process;
    end generate;
end architecture;
